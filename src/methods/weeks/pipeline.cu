// The coefficient pipeline driver.
#include "methods/weeks/pipeline.h"

#include <ostream>

#include "methods/weeks/coefficient_kernels.h"
#include "device/check_cuda.h"
#include "orvane/detail/launch.h"

namespace orvane {

void wfngpuFFTLagCoef(StageContext& c, int Nsamples, const detail::Grid& grid, int rowBegin,
                      int rowCount, double2* devData, const detail::ContourPoint* contour,
                      const LagPhase* phase) {
  StageTimer timer(c);
  if (c.diag != nullptr) *c.diag << "GPU Timing [ms]" << std::endl;

  timer.start();
  const detail::SampleRows rows{Nsamples, grid, rowBegin, rowCount, contour};
  WFN_CHECK(c.transform.sampleRows(rows, devData));
  timer.stopAndPrint(" Sample F(s) ");

  // Only the first half of each row starts a swap.
  timer.start();
  WFN_CHECK(detail::launch(Nsamples / 2, rowCount, [=] ORVANE_HD(int k, int y) {
    wfncufftshift(k, y, Nsamples, devData);
  }));
  timer.stopAndPrint(" FFTshift ");

  WFN_CHECK(c.ws.plans.prepare(Nsamples, rowCount));
  timer.start();
  WFN_CHECK(c.ws.plans.forward(Nsamples, rowCount, devData));
  timer.stopAndPrint(" FFT ");

  timer.start();
  WFN_CHECK(detail::launch(Nsamples, rowCount, [=] ORVANE_HD(int n, int y) {
    wfnLagCoeffs(n, y, Nsamples, phase, devData);
  }));
  timer.stopAndPrint(" Laguerre polynomials ");

  if (c.diag != nullptr) *c.diag << "Total Coefficients GPU time = " << timer.total() << std::endl;
}

}  // namespace orvane
