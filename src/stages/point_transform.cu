// Sampling of a transform known by its values at points: the Weeks contour
// points of the rows, F evaluated there in place, then the weights, with the
// same per-element pieces as the sampling kernel body.
#include "orvane/detail/launch.h"
#include "orvane/detail/sampling.h"
#include "orvane/transform.h"

namespace orvane {
namespace {

using detail::ContourPoint;
using detail::SampleRows;

struct RowElement {
  ContourPoint p;
  wreal sigma;
  wreal b;
};

ORVANE_HD inline RowElement rowElement(const SampleRows& g, int k, int y) {
  const int r = g.rowBegin + y;
  RowElement e;
  e.p = g.contour != nullptr ? g.contour[k] : detail::wfnContourPoint(k, g.Nsamples);
  e.sigma = g.grid.sigma<wreal>(g.grid.sigmaIndex(r));
  e.b = g.grid.b<wreal>(g.grid.bIndex(r));
  return e;
}

// The contour points of the rows into devSamples.
int launchRowPoints(const SampleRows& rows, double2* devSamples) {
  const SampleRows g = rows;
  return detail::launch(g.Nsamples, g.rowCount, [=] ORVANE_HD(int k, int y) {
    const RowElement e = rowElement(g, k, y);
    const wcomplex s = detail::wfnSamplePoint(e.p, e.sigma, e.b);
    devSamples[(long long)y * g.Nsamples + k].x = double(s.x);
    devSamples[(long long)y * g.Nsamples + k].y = double(s.y);
  });
}

// Once F has replaced the points: the weights.
int launchRowWeights(const SampleRows& rows, double2* devSamples) {
  const SampleRows g = rows;
  return detail::launch(g.Nsamples, g.rowCount, [=] ORVANE_HD(int k, int y) {
    const RowElement e = rowElement(g, k, y);
    double2& v = devSamples[(long long)y * g.Nsamples + k];
    wcomplex Fs;
    Fs.x = wreal(v.x);
    Fs.y = wreal(v.y);
    v = detail::wfnWeightSample(e.p, e.b, Fs);
  });
}

}  // namespace

int PointTransform::sampleRows(const SampleRows& rows, double2* devSamples) const {
  int status = launchRowPoints(rows, devSamples);
  if (status == 0) status = evaluate(devSamples, (long long)rows.Nsamples * rows.rowCount, devSamples);
  if (status == 0) status = launchRowWeights(rows, devSamples);
  return status;
}

}  // namespace orvane
