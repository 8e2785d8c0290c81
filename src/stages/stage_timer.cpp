// The stage timer of the diagnostic lines.
#include <ostream>

#include "device/check_cuda.h"
#include "stages/stage_context.h"

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

}  // namespace orvane
