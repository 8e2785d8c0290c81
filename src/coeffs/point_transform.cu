// Sampling of a transform known by its values at points: the Weeks contour
// points of the rows, F evaluated there in place, then the weights, with the
// same per-element pieces as the sampling kernel body.
#include "coeffs/sampling.h"
#include "orvane/transform.h"

namespace orvane {
namespace {

struct RowElement {
  ContourPoint p;
  wreal sigma;
  wreal b;
};

ORVANE_HD inline RowElement rowElement(const SampleRows& g, int k, int y) {
  const int r = g.rowBegin + y;
  const int i = r / g.Nb;
  const int j = r - i * g.Nb;
  RowElement e;
  e.p = g.contour != nullptr ? g.contour[k] : wfnContourPoint(k, g.Nsamples);
  e.sigma = gridSigma(i, g.Nsigma, g.sigmin, g.sigmax);
  e.b = gridB(j, g.Nb, 0.0, g.bmax);
  return e;
}

}  // namespace

int launchRowPoints(const SampleRows& rows, double2* devSamples) {
  const SampleRows g = rows;
  return gpu::launch(g.Nsamples, g.rowCount, [=] ORVANE_HD(int k, int y) {
    const RowElement e = rowElement(g, k, y);
    const wcomplex s = wfnSamplePoint(e.p, e.sigma, e.b);
    devSamples[(long long)y * g.Nsamples + k].x = double(s.x);
    devSamples[(long long)y * g.Nsamples + k].y = double(s.y);
  });
}

int launchRowWeights(const SampleRows& rows, double2* devSamples) {
  const SampleRows g = rows;
  return gpu::launch(g.Nsamples, g.rowCount, [=] ORVANE_HD(int k, int y) {
    const RowElement e = rowElement(g, k, y);
    double2& v = devSamples[(long long)y * g.Nsamples + k];
    wcomplex Fs;
    Fs.x = wreal(v.x);
    Fs.y = wreal(v.y);
    v = wfnWeightSample(e.p, e.b, Fs);
  });
}

int PointTransform::sampleRows(const SampleRows& rows, double2* devSamples) const {
  int status = launchRowPoints(rows, devSamples);
  if (status == 0) status = evaluate(devSamples, (long long)rows.Nsamples * rows.rowCount, devSamples);
  if (status == 0) status = launchRowWeights(rows, devSamples);
  return status;
}

}  // namespace orvane
