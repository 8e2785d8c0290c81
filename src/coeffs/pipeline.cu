// The solver's coefficient pipeline: the generic pipeline on the user's transform.
#include "coeffs/pipeline.cuh"
#include "coeffs/user_transform.h"
#include "driver/weeks_method.h"

void WeeksMethod::wfngpuFFTLagCoef(int Ncoeff, int Nsamples, int Nsigma, int Nb, int Nbatch,
                                   int Ncombo, double sigmin, double sigmax, double bmax,
                                   double2* devData) {
  orvane::coefficientPipeline(UserTransform{}, Ncoeff, Nsamples, Nsigma, Nb, Nbatch, Ncombo,
                              sigmin, sigmax, bmax, devData);
}
