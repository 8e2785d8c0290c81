// The registered methods and the names of every method.
#include "solver/registry.h"

#include <string>

#include "methods/dehoog/dehoog.h"
#include "methods/talbot/talbot.h"
#include "methods/weeks/weeks.h"
#include "orvane/error.h"
#include "orvane/method.h"

namespace orvane {
namespace {

// Weeks' rows see a singularity right of the shift, and its prediction holds
// within a factor of ten (none below a tenth of the true error on the
// reference pairs). Talbot's contour misses poles above its crossing of the
// imaginary axis, which de Hoog's line sees; de Hoog's sets sample to
// different heights and check each other.
const MethodEntry kMethods[] = {
    {"weeks", &makeWeeksMethod, false, nullptr, true, 10.0},
    {"talbot", &makeTalbotMethod, true, "dehoog", false, 1.0},
    {"dehoog", &makeDehoogMethod, true, nullptr, false, 1.0},
};
constexpr int kCount = int(sizeof kMethods / sizeof kMethods[0]);
constexpr const char* kAuto = "auto";

int indexOf(const std::string& name) {
  for (int k = 0; k < kCount; ++k)
    if (name == kMethods[k].name) return k;
  return name == kAuto ? kCount : -1;
}

}  // namespace

int Registry::count() { return kCount; }
const MethodEntry& Registry::entry(int index) { return kMethods[index]; }
int Registry::find(const char* name) {
  const int k = name != nullptr ? indexOf(name) : -1;
  return k < kCount ? k : -1;
}

Method::Method() : index_(kCount) {}

Method::Method(const std::string& name) : index_(indexOf(name)) {
  if (index_ < 0) {
    Refusal r;
    r.field = "method";
    r.found = "'" + name + "'";
    r.expected = methodList();
    throw Error(ErrorKind::kParameters, "method is " + r.found + "; expected " + r.expected, r);
  }
}

Method::Method(const char* name) : Method(std::string(name != nullptr ? name : "")) {}

const char* Method::name() const { return index_ < kCount ? kMethods[index_].name : kAuto; }
bool Method::isAuto() const { return index_ == kCount; }

const char* methodName(Method m) { return m.name(); }

bool parseMethod(const std::string& name, Method* m) {
  if (indexOf(name) < 0) return false;
  *m = Method(name);
  return true;
}

std::vector<std::string> methodNames() {
  std::vector<std::string> names;
  for (const MethodEntry& e : kMethods) names.push_back(e.name);
  names.push_back(kAuto);
  return names;
}

std::string methodList() {
  const std::vector<std::string> names = methodNames();
  std::string text;
  for (std::size_t k = 0; k < names.size(); ++k)
    text += (k == 0 ? "" : k + 1 == names.size() ? " or " : ", ") + names[k];
  return text;
}

}  // namespace orvane
