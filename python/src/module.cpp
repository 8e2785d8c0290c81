// The compiled half of the Python package: the engine behind orvane.invert.
// orvane/inversion.py checks and converts the arguments and builds the result
// object; this file turns them into Parameters, compiles or finds the
// transform, runs a solver with the interpreter lock released and hands the
// records back as numpy arrays.
//
// Errors: an orvane::Error becomes ValueError where the input is at fault
// (parameter checks, SearchSwitch, a size or a grid the machine refuses, an
// expression that does not parse or compile) and RuntimeError where the device
// or the machine failed (no device, allocation, FFT, any other device call);
// the exception carries the kind's name in its `kind` attribute. An exception
// raised by a Python transform is raised again as it was.
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
#include "jit/expression.h"
#include "jit/runtime_transform.h"
#include "orvane/orvane.h"

namespace py = pybind11;

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

// The transforms compiled in this process, newest first, so that repeated
// calls skip the disk cache's lookup and loading.
class TransformCache {
 public:
  std::shared_ptr<orvane::Transform> get(const std::string& statements, const orvane::jit::Params& params,
                                         std::string* warnings) {
    std::string key = statements;
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
        orvane::jit::compileStatements(statements, "expression", params, options);
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

// The interpreter's main thread, and whether the run of this thread is to
// look for signals (Ctrl-C) after each time: only the main thread sees them.
unsigned long mainThread = 0;
thread_local bool checkSignals = false;

// The progress hook of every solver: a KeyboardInterrupt (or any exception a
// signal handler raises) ends the run after the time in hand.
void onProgress(int, int) {
  if (!checkSignals) return;
  py::gil_scoped_acquire gil;
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
}

// ---- The pool ----------------------------------------------------------------------

// Idle solvers by method; a run takes one (or makes one) and gives it back.
// The device is checked once per process.
class SolverPool {
 public:
  std::unique_ptr<orvane::Solver> take(orvane::Method method) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!checked_) {
      check_ = orvane::checkDevice();
      checked_ = true;
    }
    if (!check_.accepted)
      throw orvane::Error(orvane::ErrorKind::kNoDevice, "An acceptable graphics processor was not found.");
    std::vector<std::unique_ptr<orvane::Solver>>& idle = idle_[int(method)];
    if (!idle.empty()) {
      std::unique_ptr<orvane::Solver> solver = std::move(idle.back());
      idle.pop_back();
      return solver;
    }
    orvane::SolverOptions options;
    options.method = method;
    options.progress = onProgress;
    return std::unique_ptr<orvane::Solver>(new orvane::Solver(options, check_));
  }
  void giveBack(orvane::Method method, std::unique_ptr<orvane::Solver> solver) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::unique_ptr<orvane::Solver>>& idle = idle_[int(method)];
    if (idle.size() < kKept) idle.push_back(std::move(solver));
  }
  const orvane::DeviceCheck& check() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!checked_) {
      check_ = orvane::checkDevice();
      checked_ = true;
    }
    return check_;
  }

 private:
  static constexpr std::size_t kKept = 8;
  std::mutex mutex_;
  bool checked_ = false;
  orvane::DeviceCheck check_;
  std::map<int, std::vector<std::unique_ptr<orvane::Solver>>> idle_;
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
py::dict invert(py::object transform, const Reals& t, const Reals& relErr, int searchSwitch,
                const std::vector<int>& sizes, double sigmin, double sigmax, const std::vector<double>& tols,
                const std::vector<double>& tolb, double bmax, const Reals& sigmaUser, const Reals& bUser,
                const std::string& methodName, const orvane::jit::Params& params) {
  orvane::Method method;
  if (!orvane::parseMethod(methodName, &method))
    throw orvane::Error(orvane::ErrorKind::kParameters,
                        "parameters: method is '" + methodName + "'; expected weeks, talbot or auto");
  orvane::Parameters p;
  p.Time = toVector(t);
  p.RelErr = toVector(relErr);
  p.SearchSwitch = searchSwitch;
  p.NLag = sizes;
  p.sigmaUser = toVector(sigmaUser);
  p.bUser = toVector(bUser);
  p.sigmin = sigmin;
  p.sigmax = sigmax;
  p.tols = tols;
  p.bmax = bmax;
  p.tolb = tolb;

  std::shared_ptr<orvane::Transform> engineTransform;
  const PythonTransform* pythonTransform = nullptr;
  std::string statements;
  if (py::isinstance<py::str>(transform)) {
    // The expression first, as on the command line: its messages come before any other.
    std::vector<std::string> names;
    for (const auto& param : params) names.push_back(param.first);
    statements = orvane::jit::expressionSource(transform.cast<std::string>(), names);
  } else {
    auto made = std::make_shared<PythonTransform>(transform);
    pythonTransform = made.get();
    engineTransform = made;
  }
  p.check();

  std::vector<WeeksResult> results;
  double engineSeconds = 0.0;
  std::string warnings;
  std::unique_ptr<orvane::Error> failure;
  checkSignals = PyThread_get_thread_ident() == mainThread;
  {
    py::gil_scoped_release release;
    try {
      if (!engineTransform) engineTransform = transformCache().get(statements, params, &warnings);
      std::unique_ptr<orvane::Solver> solver = solverPool().take(method);
      const auto start = std::chrono::steady_clock::now();
      results = solver->run(p, *engineTransform);
      engineSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      // A solver whose run failed is dropped with its buffers.
      solverPool().giveBack(method, std::move(solver));
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
    const WeeksResult& r = results[std::size_t(k)];
    tOut.mutable_data()[k] = r.Time;
    f.mutable_data()[k] = std::complex<double>(r.ft.x, r.ft.y);
    sigma.mutable_data()[k] = r.sigma;
    b.mutable_data()[k] = r.b;
    absErr.mutable_data()[k] = r.AbsErrPred;
    relErrOut.mutable_data()[k] = r.RelErrPred;
    flag.mutable_data()[k] = r.TolFlag;
    N.mutable_data()[k] = r.NLag;
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
  return out;
}

// Runs `invert`, turning an engine failure into the Python exception it stands for.
py::dict invertOrRaise(py::object transform, const Reals& t, const Reals& relErr, int searchSwitch,
                       const std::vector<int>& sizes, double sigmin, double sigmax,
                       const std::vector<double>& tols, const std::vector<double>& tolb, double bmax,
                       const Reals& sigmaUser, const Reals& bUser, const std::string& method,
                       const orvane::jit::Params& params) {
  try {
    return invert(transform, t, relErr, searchSwitch, sizes, sigmin, sigmax, tols, tolb, bmax, sigmaUser,
                  bUser, method, params);
  } catch (const orvane::Error& e) {
    setPythonError(e);
    throw py::error_already_set();
  }
}

// The csv of the command line for result columns.
std::vector<WeeksResult> records(const Reals& t, const py::array_t<std::complex<double>, py::array::c_style | py::array::forcecast>& f,
                                 const Reals& sigma, const Reals& b, const Reals& absErr, const Reals& relErr,
                                 const std::vector<int>& flag, const std::vector<int>& N,
                                 const std::vector<std::string>& method) {
  const py::ssize_t n = t.size();
  if (f.size() != n || sigma.size() != n || b.size() != n || absErr.size() != n || relErr.size() != n ||
      py::ssize_t(flag.size()) != n || py::ssize_t(N.size()) != n || py::ssize_t(method.size()) != n)
    throw py::value_error("the result's columns differ in length");
  std::vector<WeeksResult> out(static_cast<std::size_t>(n));
  for (py::ssize_t k = 0; k < n; ++k) {
    WeeksResult& r = out[std::size_t(k)];
    r.Time = t.data()[k];
    r.ft.x = f.data()[k].real();
    r.ft.y = f.data()[k].imag();
    r.sigma = sigma.data()[k];
    r.b = b.data()[k];
    r.AbsErrPred = absErr.data()[k];
    r.RelErrPred = relErr.data()[k];
    r.TolFlag = flag[std::size_t(k)];
    r.NLag = N[std::size_t(k)];
    r.tols = r.tolb = 0.0;
    if (!orvane::parseMethod(method[std::size_t(k)], &r.method))
      throw py::value_error("method[" + std::to_string(k) + "] is '" + method[std::size_t(k)] +
                            "'; expected weeks, talbot or auto");
  }
  return out;
}

}  // namespace

PYBIND11_MODULE(_orvane, m) {
  m.doc() = "The compiled engine of the orvane package (use the functions of orvane itself).";
  m.attr("__version__") = ORVANE_VERSION_TEXT;
  m.attr("backend") = gpu::kHostBackend ? "host" : "cuda";
  mainThread = py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>();

  m.def("invert", &invertOrRaise, py::arg("transform"), py::arg("t"), py::arg("rel_err"),
        py::arg("search_switch"), py::arg("sizes"), py::arg("sigmin"), py::arg("sigmax"), py::arg("tols"),
        py::arg("tolb"), py::arg("bmax"), py::arg("sigma_user"), py::arg("b_user"), py::arg("method"),
        py::arg("params"));

  m.def("csv_text",
        [](const Reals& t, const py::array_t<std::complex<double>, py::array::c_style | py::array::forcecast>& f,
           const Reals& sigma, const Reals& b, const Reals& absErr, const Reals& relErr, const std::vector<int>& flag,
           const std::vector<int>& N, const std::vector<std::string>& method) {
          std::ostringstream text;
          writeCsv(records(t, f, sigma, b, absErr, relErr, flag, N, method), text);
          return text.str();
        },
        "The command line's csv of result columns.");

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

  m.def("evaluate_expression",
        [](const std::string& expr, const orvane::jit::Params& params, const std::complex<double> s) {
          std::vector<std::string> names;
          std::vector<double> values;
          for (const auto& p : params) {
            names.push_back(p.first);
            values.push_back(p.second);
          }
          try {
            return orvane::jit::evaluateExpression(expr, names, values, s);
          } catch (const orvane::Error& e) {
            setPythonError(e);
            throw py::error_already_set();
          }
        },
        "F(s) of an expression, evaluated directly in double precision.");

  m.def("device", []() {
    const orvane::DeviceCheck& check = solverPool().check();
    py::dict d;
    d["accepted"] = check.accepted;
    d["count"] = check.count;
    d["name"] = check.device.name;
    d["major"] = check.device.major;
    d["minor"] = check.device.minor;
    d["max_threads_per_block"] = check.device.maxThreadsPerBlock;
    return d;
  }, "Device 0 as the engine sees it.");

  m.def("read_parameters", [](const std::string& path) {
    orvane::Parameters p;
    try {
      p = orvane::Parameters::fromFile(path);
    } catch (const orvane::Error& e) {
      setPythonError(e);
      throw py::error_already_set();
    }
    py::dict d;
    d["t"] = p.Time;
    d["rel_err"] = p.RelErr;
    d["search_switch"] = p.SearchSwitch;
    d["sizes"] = p.NLag;
    d["sigma_user"] = p.sigmaUser;
    d["b_user"] = p.bUser;
    d["sigmin"] = p.sigmin;
    d["sigmax"] = p.sigmax;
    d["tols"] = p.tols;
    d["bmax"] = p.bmax;
    d["tolb"] = p.tolb;
    return d;
  }, "The fields of a parameter file, read and checked as the command line does.");

  m.def("default_cache_dir", &orvane::jit::defaultCacheDir,
        "Where compiled transforms are kept ($XDG_CACHE_HOME/orvane or ~/.cache/orvane).");
}
