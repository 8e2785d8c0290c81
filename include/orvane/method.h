// The inversion methods, by name. The library's registry is the one list of
// them ("weeks", "talbot", ...), and "auto" chooses among them per time;
// methodNames() gives every name in the order the command line lists them.
#pragma once

#include <string>
#include <vector>

namespace orvane {

class Method {
 public:
  // "auto".
  Method();
  // The method of this name; throws Error(kParameters) naming the field
  // "method" for a name that is not registered.
  Method(const char* name);
  Method(const std::string& name);

  const char* name() const;
  bool isAuto() const;
  // Its position in the registry's list, for tables indexed by method.
  int index() const { return index_; }

  friend bool operator==(Method a, Method b) { return a.index_ == b.index_; }
  friend bool operator!=(Method a, Method b) { return a.index_ != b.index_; }

 private:
  int index_;
};

// "weeks", "talbot", ..., "auto".
const char* methodName(Method m);
// The method of such a name; false (and *m untouched) for any other text.
bool parseMethod(const std::string& name, Method* m);
// Every name, the registered methods first and "auto" last.
std::vector<std::string> methodNames();
// The names joined for a message: "weeks, talbot or auto".
std::string methodList();

}  // namespace orvane
