// Coefficient pipeline: F(s) -> Laguerre coefficients for a batch of (sigma, b)
// pairs, in place in one device array. Step 1 samples F on the contour, step 2
// swaps the halves of every row, step 3 is one batched forward FFT, step 4
// scales and dephases into coefficients. Generic over the transform functor so
// tests can run it on many transforms; WeeksMethod uses UserTransform.
#pragma once

#include <iostream>

#include "coeffs/kernels.h"
#include "device/check_cuda.h"
#include "device/gpu_launch.h"
#include "device/gpu_runtime.h"

namespace orvane {

// Stage timing of the diagnostic build: prints " <label> <ms>" after each stage.
class StageTimer {
 public:
  StageTimer() {
    WFN_CHECK(gpu::eventCreate(&start_));
    WFN_CHECK(gpu::eventCreate(&stop_));
  }
  ~StageTimer() {
    if (start_ != nullptr) gpu::eventDestroy(start_);
    if (stop_ != nullptr) gpu::eventDestroy(stop_);
  }
  StageTimer(const StageTimer&) = delete;
  StageTimer& operator=(const StageTimer&) = delete;

  void start() {
    if (ORVANE_DIAG) WFN_CHECK(gpu::eventRecord(start_));
  }
  // Waits for the device and returns the milliseconds since start().
  float stop() {
    float ms = 0.0f;
    if (ORVANE_DIAG) {
      WFN_CHECK(gpu::eventRecord(stop_));
      WFN_CHECK(gpu::deviceSynchronize());
      WFN_CHECK(gpu::eventElapsedTime(&ms, start_, stop_));
    }
    return ms;
  }
  void stopAndPrint(const char* label) {
    if (!ORVANE_DIAG) return;
    float ms = stop();
    std::cout << label << ms << std::endl;
    total_ += ms;
  }
  float total() const { return total_; }
  // Destroys both events, checking each status.
  void destroy() {
    WFN_CHECK(gpu::eventDestroy(start_));
    start_ = nullptr;
    WFN_CHECK(gpu::eventDestroy(stop_));
    stop_ = nullptr;
  }

 private:
  gpu::Event start_ = nullptr;
  gpu::Event stop_ = nullptr;
  float total_ = 0.0f;
};

// Coefficients of the grid rows [rowBegin, rowBegin + rowCount) of a grid of
// Nsigma x Nb pairs, into devData (rowCount rows of Nsamples elements; local
// row y holds grid row rowBegin + y). Large grids are done in such chunks.
template <class F>
void coefficientRows(const F& f, int Nsamples, int Nsigma, int Nb, int rowBegin, int rowCount,
                     double sigmin, double sigmax, double bmax, double2* devData) {
  StageTimer timer;
  if (ORVANE_DIAG) std::cout << "GPU Timing [ms]" << std::endl;

  timer.start();
  WFN_CHECK(gpu::launch(Nsamples, rowCount, [=] ORVANE_HD(int k, int y) {
    const int r = rowBegin + y;
    const int i = r / Nb;
    const int j = r - i * Nb;
    devData[(long long)y * Nsamples + k] =
        wfnSampleValue(f, wfnContourPoint(k, Nsamples), gridSigma(i, Nsigma, sigmin, sigmax),
                       gridB(j, Nb, 0.0, bmax));
  }));
  timer.stopAndPrint(" Sample F(s) ");

  // Rows are contiguous, so the local rows are a grid of one b value per row.
  // Only the first half of each row starts a swap.
  timer.start();
  WFN_CHECK(gpu::launch(Nsamples / 2, rowCount, [=] ORVANE_HD(int k, int y) {
    wfncufftshift(k, y, Nsamples, 1, devData);
  }));
  timer.stopAndPrint(" FFTshift ");

  gpu::FftPlan plan;
  WFN_CHECK(plan.create(Nsamples, rowCount));
  timer.start();
  WFN_CHECK(plan.execForward(devData));
  timer.stopAndPrint(" FFT ");
  plan.destroy();

  timer.start();
  WFN_CHECK(gpu::launch(Nsamples, rowCount, [=] ORVANE_HD(int n, int y) {
    wfnLagCoeffs(n, y, Nsamples, 1, devData);
  }));
  timer.stopAndPrint(" Laguerre polynomials ");

  // The events go before the total is printed.
  timer.destroy();
  if (ORVANE_DIAG) std::cout << "Total Coefficients GPU time = " << timer.total() << std::endl;
}

// The whole grid of Nbatch = Nsigma x Nb pairs in one pass: row r = i*Nb + j
// of devData (Ncombo = Nbatch * Nsamples elements) receives the coefficients of
// (sigma_i, b_j); elements n < Ncoeff = Nsamples/2 are a_n.
template <class F>
void coefficientPipeline(const F& f, int Ncoeff, int Nsamples, int Nsigma, int Nb, int Nbatch,
                         int Ncombo, double sigmin, double sigmax, double bmax, double2* devData) {
  (void)Ncoeff;
  (void)Ncombo;
  coefficientRows(f, Nsamples, Nsigma, Nb, 0, Nbatch, sigmin, sigmax, bmax, devData);
}

}  // namespace orvane
