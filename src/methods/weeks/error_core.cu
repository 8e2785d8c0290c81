// The error grid driver's batched path and the choice between it and the host
// backend's row-at-a-time path.
#include "methods/weeks/error_core.h"

#include <ostream>

#include "device/check_cuda.h"
#include "orvane/detail/launch.h"
#include "methods/weeks/error_kernel.h"
#include "orvane/error.h"

namespace orvane {

std::string errorGridSizes(const detail::Grid& grid, int NLaguerre, ErrorGridSizes* out) {
  const int Nsigma = grid.Nsigma, Nb = grid.Nb;
  const long long kIntMax = 2147483647LL;
  if (NLaguerre < 1) return "the expansion size must be at least 1, not " + std::to_string(NLaguerre);
  if (Nsigma < 1 || Nb < 1)
    return "the grid needs at least one sigma and one b value, not " + std::to_string(Nsigma) +
           " x " + std::to_string(Nb);
  const long long nsamples = 4LL * NLaguerre;
  const long long nbatch = (long long)Nsigma * Nb;
  if (nsamples > kIntMax)
    return std::to_string(nsamples) + " samples per grid point exceed " + std::to_string(kIntMax);
  if (nbatch > kIntMax)
    return std::to_string(Nsigma) + " x " + std::to_string(Nb) + " = " + std::to_string(nbatch) +
           " grid points exceed " + std::to_string(kIntMax);
  // Both factors are below 2^31, so the product cannot overflow 64 bits.
  const long long ncombo = nbatch * nsamples;
  out->Nsamples = int(nsamples);
  out->Ncoeff = int(nsamples / 2);
  out->Nbatch = int(nbatch);
  out->Ncombo = ncombo <= kIntMax ? int(ncombo) : 0;
  out->dataBytes = std::size_t(ncombo) * sizeof(double2);
  out->errorBytes = std::size_t(nbatch) * sizeof(double);
  return "";
}

ErrorGridSizes checkErrorGrid(const detail::Grid& grid, int NLaguerre) {
  ErrorGridSizes sizes;
  const std::string problem = errorGridSizes(grid, NLaguerre, &sizes);
  if (!problem.empty())
    throw Error(ErrorKind::kResources, "The error grid cannot be evaluated: " + problem + ".");
  return sizes;
}

int rowsPerChunk(const ErrorGridSizes& sizes, std::size_t heldBytes) {
  std::size_t freeBytes = 0, totalBytes = 0;
  WFN_CHECK(gpu::memGetInfo(&freeBytes, &totalBytes));
  const std::size_t available = freeBytes + heldBytes;
  const std::size_t usable = available - available / 8;
  const std::size_t perRow = std::size_t(sizes.Nsamples) * sizeof(double2) + sizeof(double);
  std::size_t rows = usable / perRow;
  // One chunk's element count must also fit the kernels' 32-bit interfaces.
  const std::size_t intRows = std::size_t(2147483647) / std::size_t(sizes.Nsamples);
  if (rows > intRows) rows = intRows;
  if (rows > std::size_t(sizes.Nbatch)) rows = std::size_t(sizes.Nbatch);
  return rows < 1 ? 1 : int(rows);
}

namespace {

void errorCoreBatched(WeeksContext& c, double TimeInput, const ErrorGridSizes& sizes,
                      const detail::Grid& grid, double* Errorvec) {
  WeeksBuffers& ws = c.buffers;
  const int chunk = rowsPerChunk(sizes, ws.gridData.bytes() + ws.gridValues.bytes());
  const int Nsamples = sizes.Nsamples;

  StageTimer timer(c);
  WFN_CHECK(ws.gridData.reserve(std::size_t(chunk) * std::size_t(Nsamples) * sizeof(double2)));
  WFN_CHECK(ws.gridValues.reserve(std::size_t(chunk) * sizeof(double)));
  double2* devData = ws.gridData.as<double2>();
  double* devErrorvec = ws.gridValues.as<double>();

  for (int rowBegin = 0; rowBegin < sizes.Nbatch; rowBegin += chunk) {
    const int rows = sizes.Nbatch - rowBegin < chunk ? sizes.Nbatch - rowBegin : chunk;
    // The pipeline's last stage already turns the FFT output into the Laguerre
    // coefficients a_n; the error kernel reads them as they are.
    wfngpuFFTLagCoef(c, Nsamples, grid, rowBegin, rows, devData);
    if (c.diag != nullptr) WFN_CHECK(gpu::deviceSynchronize());

    timer.start();
    // Each element is a row of Nsamples terms: shared as that many would be.
    const long long shareFrom = detail::kShareElements / Nsamples > 2 ? detail::kShareElements / Nsamples : 2;
    WFN_CHECK(detail::launch(1, rows, [=] ORVANE_HD(int, int y) {
      wfnLagError(rowBegin + y, rowBegin, Nsamples, grid, TimeInput, devData, devErrorvec);
    }, shareFrom));
    const float ms = timer.stop();
    if (c.diag != nullptr) *c.diag << "GPU Error Estimation Time = " << ms << std::endl << std::endl;

    WFN_CHECK(gpu::memcpyDeviceToHost(Errorvec + rowBegin, devErrorvec,
                                      std::size_t(rows) * sizeof(double)));
  }
}

}  // namespace

void wfnErrorCore(WeeksContext& c, double TimeInput, const detail::Grid& grid, int NLaguerre,
                  double* Errorvec) {
  const ErrorGridSizes sizes = checkErrorGrid(grid, NLaguerre);
  if (gpu::kHostBackend && c.diag == nullptr && !c.transform.wantsWholeBatches())
    errorCoreHostRows(c, TimeInput, sizes, grid, Errorvec);
  else
    errorCoreBatched(c, TimeInput, sizes, grid, Errorvec);
}

void scaleErrorSums(const double* sums, double TimeInput, const detail::Grid& grid,
                    double* Errorvec) {
  const int Nbatch = int(grid.points());
  for (int k = 0; k < Nbatch; ++k) Errorvec[k] = wfnLagErrorAt(wreal(sums[k]), grid, k, TimeInput);
}

}  // namespace orvane
