// The error grid driver's row-at-a-time path for the host backend: each thread
// takes one grid row at a time through the same per-element bodies as the
// batched path (sampling, half swap, FFT, coefficients, error sum) in a row
// buffer of its own, with the contour and phase factors computed once per row
// length and kept in the workspace.
#include <omp.h>

#include <exception>
#include <map>
#include <new>
#include <vector>

#include "methods/weeks/coefficient_kernels.h"
#include "device/check_cuda.h"
#include "methods/weeks/error_core.h"
#include "methods/weeks/error_kernel.h"
#include "orvane/error.h"

namespace orvane {
namespace {

struct KeptTables : WeeksBuffers::Kept {
  std::map<int, RowTables> byLength;
};

}  // namespace

const RowTables& hostRowTables(WeeksBuffers& ws, int Nsamples) {
  KeptTables* kept = dynamic_cast<KeptTables*>(ws.rowTables.get());
  try {
    if (kept == nullptr) {
      ws.rowTables.reset(kept = new KeptTables);
    }
    RowTables& t = kept->byLength[Nsamples];
    if (t.contour.empty()) {
      t.contour.resize(std::size_t(Nsamples));
      t.phase.resize(std::size_t(Nsamples));
      for (int k = 0; k < Nsamples; ++k) {
        t.contour[std::size_t(k)] = wfnContourPoint(k, Nsamples);
        t.phase[std::size_t(k)] = wfnLagPhase(k, Nsamples);
      }
    }
    return t;
  } catch (const std::bad_alloc&) {
    throw Error(ErrorKind::kResources,
                "The error grid driver cannot allocate its contour tables on the host.");
  }
}

void errorCoreHostRows(WeeksContext& c, double TimeInput, const ErrorGridSizes& sizes,
                       const detail::Grid& grid, double* Errorvec) {
  const int Nsamples = sizes.Nsamples;
  const int M = Nsamples / 2;
  const RowTables& tables = hostRowTables(c.buffers, Nsamples);

  // One row buffer per thread, in the emulated device's memory.
  const int threads = omp_get_max_threads();
  WFN_CHECK(c.buffers.threadRows.reserve(std::size_t(threads) * std::size_t(Nsamples) * sizeof(double2)));
  double2* devRows = c.buffers.threadRows.as<double2>();
  WFN_CHECK(c.ws.plans.prepare(Nsamples, 1));

  const ContourPoint* cp = tables.contour.data();
  const LagPhase* lp = tables.phase.data();
  gpu::Status failed = gpu::kSuccess;
  std::exception_ptr thrown;
#pragma omp parallel num_threads(threads)
  {
    double2* row = devRows + std::size_t(omp_get_thread_num()) * Nsamples;
#pragma omp for schedule(dynamic, 16)
    for (int r = 0; r < sizes.Nbatch; ++r) {
      gpu::Status status = gpu::kSuccess;
      try {
        const detail::SampleRows one{Nsamples, grid, r, 1, cp};
        status = c.transform.sampleRows(one, row);
      } catch (...) {
#pragma omp critical
        thrown = std::current_exception();
        continue;
      }
      if (status == gpu::kSuccess) {
        for (int k = 0; k < M; ++k) wfncufftshift(k, 0, Nsamples, row);
        status = c.ws.plans.forward(Nsamples, 1, row);
      }
      if (status != gpu::kSuccess) {
#pragma omp critical
        failed = status;
        continue;
      }
      // Only the first half of the row is read by the error sum.
      for (int n = 0; n < M; ++n) wfnLagCoeffs(n, 0, Nsamples, lp, row);
      wfnLagError(r, r, Nsamples, grid, TimeInput, row, Errorvec + r);
    }
  }
  if (thrown) std::rethrow_exception(thrown);
  WFN_CHECK(failed);
}

}  // namespace orvane
