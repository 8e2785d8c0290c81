// The coefficient pipeline driver and its stage timer.
#include "coeffs/pipeline.h"

#include <ostream>

#include "coeffs/kernels.h"
#include "device/check_cuda.h"
#include "device/gpu_launch.h"

namespace orvane {

StageTimer::StageTimer(StageContext& c) : out_(c.diag) {
  if (out_ != nullptr) WFN_CHECK(c.ws.events(&start_, &stop_));
}

void StageTimer::start() {
  if (out_ != nullptr) WFN_CHECK(gpu::eventRecord(start_));
}

float StageTimer::stop() {
  float ms = 0.0f;
  if (out_ != nullptr) {
    WFN_CHECK(gpu::eventRecord(stop_));
    WFN_CHECK(gpu::deviceSynchronize());
    WFN_CHECK(gpu::eventElapsedTime(&ms, start_, stop_));
  }
  return ms;
}

void StageTimer::stopAndPrint(const char* label) {
  if (out_ == nullptr) return;
  const float ms = stop();
  *out_ << label << ms << std::endl;
  total_ += ms;
}

void wfngpuFFTLagCoef(StageContext& c, int Nsamples, int Nsigma, int Nb, int rowBegin,
                      int rowCount, double sigmin, double sigmax, double bmax, double2* devData) {
  StageTimer timer(c);
  if (c.diag != nullptr) *c.diag << "GPU Timing [ms]" << std::endl;

  timer.start();
  const SampleRows rows{Nsamples, Nsigma, Nb, sigmin, sigmax, bmax, rowBegin, rowCount, nullptr};
  WFN_CHECK(c.transform.sampleRows(rows, devData));
  timer.stopAndPrint(" Sample F(s) ");

  // Rows are contiguous, so the local rows are a grid of one b value per row.
  // Only the first half of each row starts a swap.
  timer.start();
  WFN_CHECK(gpu::launch(Nsamples / 2, rowCount, [=] ORVANE_HD(int k, int y) {
    wfncufftshift(k, y, Nsamples, 1, devData);
  }));
  timer.stopAndPrint(" FFTshift ");

  WFN_CHECK(c.ws.plans.prepare(Nsamples, rowCount));
  timer.start();
  WFN_CHECK(c.ws.plans.forward(Nsamples, rowCount, devData));
  timer.stopAndPrint(" FFT ");

  timer.start();
  WFN_CHECK(gpu::launch(Nsamples, rowCount, [=] ORVANE_HD(int n, int y) {
    wfnLagCoeffs(n, y, Nsamples, 1, nullptr, devData);
  }));
  timer.stopAndPrint(" Laguerre polynomials ");

  if (c.diag != nullptr) *c.diag << "Total Coefficients GPU time = " << timer.total() << std::endl;
}

}  // namespace orvane
