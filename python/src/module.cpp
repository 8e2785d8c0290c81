// The compiled half of the Python package: the engine behind orvane.invert.
// orvane/inversion.py checks and converts the arguments and builds the result
// object; this file turns them into Options, compiles or finds the transform,
// runs a solver with the interpreter lock released and hands the records back
// as numpy arrays. It also lends the package the command line's csv writer, its
// atomic file writer and its table's reasons for unmet requests.
//
// Errors: an orvane::Error becomes ValueError where the input is at fault
// (option checks, SearchSwitch, a size or a grid the machine refuses, an
// expression that does not parse or compile) and RuntimeError where the device
// or the machine failed (no device, allocation, FFT, any other device call);
// the exception carries the kind's name in its `kind` attribute and, for a
// refused option, the refusal as `refusal` (a dict of field, index, length,
// found and expected), which orvane/inversion.py words in its own argument
// names. An exception raised by a Python transform is raised again as it was.
//
// The interpreter lock: a run releases it, so that runs in several Python
// threads go on at the same time (each takes a solver of its own from a pool).
// A Python transform takes the lock back for each batch it evaluates; it asks
// the engine for whole batches from one thread (wantsWholeBatches), and takes
// the lock correctly from any thread should an engine path call it from an
// OpenMP worker.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "device/gpu_runtime.h"
#include "driver/data_formats.h"
#include "driver/output_file.h"
#include "driver/result_table.h"
#include "jit/expression.h"
#include "jit/formula_program.h"
#include "jit/runtime_transform.h"
#include "orvane/orvane.h"

namespace py = pybind11;
namespace gpu = orvane::gpu;

namespace {

// ---- Errors ---------------------------------------------------------------------

bool inputAtFault(orvane::ErrorKind kind) {
  switch (kind) {
    case orvane::ErrorKind::kParameterFile:
    case orvane::ErrorKind::kParameters:
    case orvane::ErrorKind::kSearchSwitch:
    case orvane::ErrorKind::kSizeRefused:
    case orvane::ErrorKind::kResources:
      return true;
    default:
      return false;
  }
}

// Sets the Python error for an engine error (the caller holds the lock).
void setPythonError(const orvane::Error& e) {
  PyObject* type = inputAtFault(e.kind()) ? PyExc_ValueError : PyExc_RuntimeError;
  py::object error = py::reinterpret_borrow<py::object>(type)(e.what());
  error.attr("kind") = orvane::kindName(e.kind());
  const orvane::Refusal& r = e.refusal();
  if (!r.field.empty()) {
    py::dict refusal;
    refusal["field"] = r.field;
    refusal["index"] = r.index;
    refusal["length"] = r.length;
    refusal["found"] = r.found;
    refusal["expected"] = r.expected;
    error.attr("refusal") = refusal;
  }
  PyErr_SetObject(type, error.ptr());
}

// ---- Transforms given as Python callables ---------------------------------------------

// F known by a Python function of a batch of points: `batch` takes a complex128
// array and returns a C-contiguous complex128 array of the same length, or
// raises (orvane/inversion.py wraps the user's function so).
class PythonTransform final : public orvane::PointTransform {
 public:
  explicit PythonTransform(py::object batch) : batch_(std::move(batch)) {}
  ~PythonTransform() override {
    // Python references are dropped under the lock.
    py::gil_scoped_acquire gil;
    batch_ = py::object();
    error_.reset();
  }

  int evaluate(const double2* devPoints, long long count, double2* devValues) const override {
    if (count <= 0) return gpu::kSuccess;
    py::gil_scoped_acquire gil;
    if (error_) return gpu::kErrorInvalidValue;  // no more calls after the first failure
    const std::size_t bytes = std::size_t(count) * sizeof(double2);
    try {
      py::array_t<std::complex<double>> points(count);
      gpu::Status status = gpu::memcpyDeviceToHost(points.mutable_data(), devPoints, bytes);
      if (status != gpu::kSuccess) return status;
      py::object out = batch_(points);
      auto values = py::array_t<std::complex<double>, py::array::c_style>::ensure(out);
      if (!values || values.ndim() != 1 || values.shape(0) != count)
        throw py::value_error("the transform's batch did not come back as " + std::to_string(count) +
                              " complex values");
      return gpu::memcpyHostToDevice(devValues, values.data(), bytes);
    } catch (py::error_already_set& e) {
      error_.reset(new py::error_already_set(std::move(e)));
    } catch (const py::builtin_exception& e) {
      e.set_error();
      error_.reset(new py::error_already_set());
    }
    return gpu::kErrorInvalidValue;
  }

  bool wantsWholeBatches() const override { return true; }

  // Raises the Python exception of a failed call, if there was one (lock held).
  void raiseIfFailed() const {
    if (!error_) return;
    py::error_already_set e = std::move(*error_);
    error_.reset();
    throw e;
  }

 private:
  py::object batch_;
  mutable std::unique_ptr<py::error_already_set> error_;
};

// ---- Expressions compiled at run time ------------------------------------------------

// The transforms of formulas made in this process, newest first, so that
// repeated calls skip making them (and, for a compiled one, the disk cache's
// lookup and loading).
class TransformCache {
 public:
  std::shared_ptr<orvane::Transform> get(const std::string& formula, const orvane::jit::Params& params,
                                         std::string* warnings) {
    const char* engine = std::getenv("ORVANE_JIT_FORMULA");
    std::string key = std::string(engine != nullptr ? engine : "") + '\n' + formula;
    for (const auto& p : params) {
      key += '\n' + p.first + '=';
      key.append(reinterpret_cast<const char*>(&p.second), sizeof p.second);
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->first != key) continue;
        entries_.splice(entries_.begin(), entries_, it);
        return it->second;
      }
    }
    std::ostringstream said;
    orvane::jit::Options options;
    options.warnings = &said;
    std::shared_ptr<orvane::Transform> made =
        orvane::jit::formulaTransform(formula, params, options);
    *warnings = said.str();
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.emplace_front(key, made);
    if (entries_.size() > kKept) entries_.pop_back();
    return made;
  }

 private:
  static constexpr std::size_t kKept = 64;
  std::mutex mutex_;
  std::list<std::pair<std::string, std::shared_ptr<orvane::Transform>>> entries_;
};

TransformCache& transformCache() {
  static TransformCache* cache = new TransformCache;  // never destroyed: outlives the interpreter
  return *cache;
}

// ---- Solvers ----------------------------------------------------------------------

// The interpreter's main thread: only its runs look for signals (Ctrl-C).
unsigned long mainThread = 0;
// The progress hook of every solver: a KeyboardInterrupt (or any exception a
// signal handler raises) ends the run after the time in hand, and so does an
// exception of the caller's `callback` (None: none), which hears (done, total)
// first. `signals`: whether this run looks for signals.
void onProgress(int done, int total, bool signals, PyObject* callback) {
  if (!signals && callback == nullptr) return;
  py::gil_scoped_acquire gil;
  if (signals && PyErr_CheckSignals() != 0) throw py::error_already_set();
  if (callback != nullptr) py::reinterpret_borrow<py::object>(callback)(done, total);
}

// ---- The pool ----------------------------------------------------------------------

// Idle solvers; a run takes one (or makes one) and gives it back. The device
// is checked once per process.
class SolverPool {
 public:
  std::unique_ptr<orvane::Solver> take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!checked_) {
      check_ = orvane::checkDevice();
      checked_ = true;
    }
    orvane::requireDevice(check_);
    if (!idle_.empty()) {
      std::unique_ptr<orvane::Solver> solver = std::move(idle_.back());
      idle_.pop_back();
      return solver;
    }
    return std::unique_ptr<orvane::Solver>(new orvane::Solver(orvane::SolverSettings(), check_));
  }
  void giveBack(std::unique_ptr<orvane::Solver> solver) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (idle_.size() < kKept) idle_.push_back(std::move(solver));
  }

 private:
  static constexpr std::size_t kKept = 8;
  std::mutex mutex_;
  bool checked_ = false;
  orvane::DeviceCheck check_;
  std::vector<std::unique_ptr<orvane::Solver>> idle_;
};

SolverPool& solverPool() {
  static SolverPool* pool = new SolverPool;  // never destroyed: outlives the interpreter
  return *pool;
}

// ---- The run ----------------------------------------------------------------------

typedef py::array_t<double, py::array::c_style | py::array::forcecast> Reals;

std::vector<double> toVector(const Reals& a) { return std::vector<double>(a.data(), a.data() + a.size()); }

// The whole inversion. `transform` is the expression (str) or the batch
// function of a Python transform; the arguments are already checked for type
// and shape by inversion.py, the values are checked here by the engine.
py::dict invert(py::object transform, const Reals& t, const Reals& relErr, const std::vector<int>& sizes,
                double sigmin, double sigmax, const std::vector<std::pair<double, double>>& resolutions,
                double bmax, const Reals& sigmaUser, const Reals& bUser, const std::string& methodName,
                const orvane::Constants& params, long long maxGridPoints, const py::object& progress,
                const std::vector<int>& largerSizes) {
  orvane::Options o;
  o.max_grid_points = maxGridPoints;
  o.larger_sizes = largerSizes;
  o.method = methodName;
  const std::vector<double> times = toVector(t);
  o.rel_errs = toVector(relErr);
  o.sizes = sizes;
  o.sigma_min = sigmin;
  o.sigma_max = sigmax;
  o.b_max = bmax;
  o.resolutions.clear();
  for (const auto& r : resolutions) o.resolutions.push_back(orvane::Resolution{r.first, r.second});
  for (py::ssize_t k = 0; k < sigmaUser.size() && k < bUser.size(); ++k)
    o.pairs.push_back(orvane::Pair{sigmaUser.data()[k], bUser.data()[k]});
  // The callback stays alive: the caller's frame holds it for the whole run.
  const bool signals = PyThread_get_thread_ident() == mainThread;
  PyObject* callback = progress.is_none() ? nullptr : progress.ptr();
  o.progress = [signals, callback](int done, int total) { onProgress(done, total, signals, callback); };

  std::shared_ptr<orvane::Transform> engineTransform;
  const PythonTransform* pythonTransform = nullptr;
  std::string formula;
  if (py::isinstance<py::str>(transform)) {
    // The expression first, as on the command line: its messages come before any other.
    std::vector<std::string> names;
    for (const auto& param : params) names.push_back(param.first);
    formula = transform.cast<std::string>();
    const orvane::jit::Expression checked(formula, names);
  } else {
    auto made = std::make_shared<PythonTransform>(transform);
    pythonTransform = made.get();
    engineTransform = made;
  }
  o.check(times);

  std::vector<orvane::Result> results;
  double engineSeconds = 0.0;
  long long evaluations = 0;
  std::string warnings;
  std::unique_ptr<orvane::Error> failure;
  {
    py::gil_scoped_release release;
    try {
      if (!engineTransform) engineTransform = transformCache().get(formula, params, &warnings);
      std::unique_ptr<orvane::Solver> solver = solverPool().take();
      const auto start = std::chrono::steady_clock::now();
      results = solver->invert(*engineTransform, times, o);
      engineSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      evaluations = solver->lastCall().evaluations;
      // A solver whose run failed is dropped with its buffers.
      solverPool().giveBack(std::move(solver));
    } catch (const orvane::Error& e) {
      failure.reset(new orvane::Error(e));
    }
  }
  // The Python transform's own exception, rather than the engine's report of a failed call.
  if (pythonTransform != nullptr) pythonTransform->raiseIfFailed();
  if (failure) throw *failure;
  if (!warnings.empty()) {
    if (PyErr_WarnEx(PyExc_RuntimeWarning, warnings.c_str(), 1) != 0) throw py::error_already_set();
  }

  const py::ssize_t n = py::ssize_t(results.size());
  py::array_t<double> tOut(n), sigma(n), b(n), absErr(n), relErrOut(n);
  py::array_t<std::complex<double>> f(n);
  py::array_t<int> flag(n), N(n);
  py::list methods;
  for (py::ssize_t k = 0; k < n; ++k) {
    const orvane::Result& r = results[std::size_t(k)];
    tOut.mutable_data()[k] = r.t;
    f.mutable_data()[k] = r.f;
    sigma.mutable_data()[k] = r.sigma;
    b.mutable_data()[k] = r.b;
    absErr.mutable_data()[k] = r.abs_err;
    relErrOut.mutable_data()[k] = r.rel_err;
    flag.mutable_data()[k] = r.flag;
    N.mutable_data()[k] = r.N;
    methods.append(orvane::methodName(r.method));
  }
  py::dict out;
  out["t"] = tOut;
  out["f"] = f;
  out["sigma"] = sigma;
  out["b"] = b;
  out["abs_err"] = absErr;
  out["rel_err"] = relErrOut;
  out["flag"] = flag;
  out["N"] = N;
  out["method"] = methods;
  out["engine_seconds"] = engineSeconds;
  out["evaluations"] = evaluations;
  return out;
}

// Runs `invert`, turning an engine failure into the Python exception it stands for.
py::dict invertOrRaise(py::object transform, const Reals& t, const Reals& relErr, const std::vector<int>& sizes,
                       double sigmin, double sigmax, const std::vector<std::pair<double, double>>& resolutions,
                       double bmax, const Reals& sigmaUser, const Reals& bUser, const std::string& method,
                       const orvane::Constants& params, long long maxGridPoints, const py::object& progress,
                       const std::vector<int>& largerSizes) {
  try {
    return invert(transform, t, relErr, sizes, sigmin, sigmax, resolutions, bmax, sigmaUser, bUser, method,
                  params, maxGridPoints, progress, largerSizes);
  } catch (const orvane::Error& e) {
    setPythonError(e);
    throw py::error_already_set();
  }
}

// The csv of the command line for result columns.
std::vector<orvane::Result> records(const Reals& t, const py::array_t<std::complex<double>, py::array::c_style | py::array::forcecast>& f,
                                 const Reals& sigma, const Reals& b, const Reals& absErr, const Reals& relErr,
                                 const std::vector<int>& flag, const std::vector<int>& N,
                                 const std::vector<std::string>& method) {
  const py::ssize_t n = t.size();
  if (f.size() != n || sigma.size() != n || b.size() != n || absErr.size() != n || relErr.size() != n ||
      py::ssize_t(flag.size()) != n || py::ssize_t(N.size()) != n || py::ssize_t(method.size()) != n)
    throw py::value_error("the result's columns differ in length");
  std::vector<orvane::Result> out(static_cast<std::size_t>(n));
  for (py::ssize_t k = 0; k < n; ++k) {
    orvane::Result& r = out[std::size_t(k)];
    r.t = t.data()[k];
    r.f = f.data()[k];
    r.sigma = sigma.data()[k];
    r.b = b.data()[k];
    r.abs_err = absErr.data()[k];
    r.rel_err = relErr.data()[k];
    r.flag = flag[std::size_t(k)];
    r.N = N[std::size_t(k)];
    if (!orvane::parseMethod(method[std::size_t(k)], &r.method))
      throw py::value_error("method[" + std::to_string(k) + "] is '" + method[std::size_t(k)] +
                            "'; expected " + orvane::methodList());
  }
  return out;
}

}  // namespace

PYBIND11_MODULE(_orvane, m) {
  m.doc() = "The compiled engine of the orvane package (use the functions of orvane itself).";
  m.attr("__version__") = ORVANE_VERSION_TEXT;
  m.attr("backend") = orvane::gpu::kHostBackend ? "host" : "cuda";
  m.attr("methods") = py::tuple(py::cast(orvane::methodNames()));
  m.attr("max_grid_points") = orvane::Options().max_grid_points;
  mainThread = py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>();

  m.def("invert", &invertOrRaise, py::arg("transform"), py::arg("t"), py::arg("rel_err"), py::arg("sizes"),
        py::arg("sigma_min"), py::arg("sigma_max"), py::arg("resolutions"), py::arg("b_max"),
        py::arg("user_sigma"), py::arg("user_b"), py::arg("method"), py::arg("params"),
        py::arg("max_grid_points") = orvane::Options().max_grid_points, py::arg("progress") = py::none(),
        py::arg("larger_sizes") = std::vector<int>());

  m.def("csv_text",
        [](const Reals& t, const py::array_t<std::complex<double>, py::array::c_style | py::array::forcecast>& f,
           const Reals& sigma, const Reals& b, const Reals& absErr, const Reals& relErr, const std::vector<int>& flag,
           const std::vector<int>& N, const std::vector<std::string>& method) {
          std::ostringstream text;
          writeCsv(records(t, f, sigma, b, absErr, relErr, flag, N, method), text);
          return text.str();
        },
        "The command line's csv of result columns.");

  m.def("unmet_reasons",
        [](const Reals& t, const py::array_t<std::complex<double>, py::array::c_style | py::array::forcecast>& f,
           const Reals& sigma, const Reals& b, const Reals& absErr, const Reals& relErr, const std::vector<int>& flag,
           const std::vector<int>& N, const std::vector<std::string>& method) {
          std::vector<std::string> reasons;
          for (const orvane::Result& r : records(t, f, sigma, b, absErr, relErr, flag, N, method))
            reasons.push_back(r.flag == 0 ? std::string() : unmetReason(r, AdviceSpelling::kPython));
          return reasons;
        },
        "Per time, what limited an unmet request and what to try (the command line table's words); "
        "'' where met.");

  m.def("write_file", [](const std::string& path, const std::string& text) {
    std::string failure;
    {
      py::gil_scoped_release release;
      failure = writeFileAtomically(path, text);
    }
    if (!failure.empty()) {
      PyErr_SetString(PyExc_OSError, ("the output file " + path + " " + failure).c_str());
      throw py::error_already_set();
    }
  }, "Writes text to path whole or not at all (a temporary file renamed into place).");

  m.def("read_parameters", [](const std::string& path) {
    orvane::Inputs in;
    try {
      in = orvane::readParameterFile(path);
    } catch (const orvane::Error& e) {
      setPythonError(e);
      throw py::error_already_set();
    }
    const orvane::Options& o = in.options;
    py::dict d;
    d["t"] = in.t;
    d["rel_err"] = o.rel_errs;
    d["sizes"] = o.sizes;
    d["sigma"] = py::make_tuple(o.sigma_min, o.sigma_max);
    d["b_max"] = o.b_max;
    py::list resolutions;
    for (const orvane::Resolution& r : o.resolutions) resolutions.append(py::make_tuple(r.sigma, r.b));
    d["resolutions"] = py::tuple(resolutions);
    if (!o.search()) {
      std::vector<double> sigma, b;
      for (const orvane::Pair& p : o.pairs) {
        sigma.push_back(p.sigma);
        b.push_back(p.b);
      }
      d["user_sigma"] = sigma;
      d["user_b"] = b;
    }
    return d;
  }, "The invert() arguments a parameter file holds, read and checked as the command line does.");
}
