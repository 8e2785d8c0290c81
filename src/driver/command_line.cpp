// The command line: parsing with CLI11, the run, and the data in the format
// asked for. The console talk (banner, device lines, input report, the wall
// clock time) belongs to the report format alone, on standard output, and
// nowhere with --quiet; standard error carries only warnings, errors and the
// progress line; the data goes to standard output or to the --output file.
#include "driver/command_line.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>

#include "driver/data_formats.h"
#include "driver/output_file.h"
#include "driver/reports.h"
#include "driver/result_table.h"
#include "driver/run_checks.h"
#include "jit/expression.h"
#include "jit/formula_program.h"
#include "jit/runtime_transform.h"
#include "orvane/orvane.h"

namespace {

const char* programName() { return ORVANE_DIAG ? "orvane-diag" : "orvane"; }

// "times done of all, elapsed" on standard error while a run lasts longer than
// a second, when standard error is a terminal: updated as times are done and
// every half second between (a single time of a fine search may take
// minutes); the line is cleared at the end.
class Progress {
 public:
  explicit Progress(int total)
      : start_(std::chrono::steady_clock::now()), terminal_(isatty(2) == 1), total_(total) {
    if (terminal_) ticker_ = std::thread([this] { tick(); });
  }
  ~Progress() {
    if (!terminal_) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    ticker_.join();
    if (shown_) std::fprintf(stderr, "\r%*s\r", 60, "");
  }
  void operator()(int done, int total) {
    if (!terminal_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = done;
    total_ = total;
    show();
  }

 private:
  void tick() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(500), [this] { return stop_; })) show();
  }
  // With the mutex held.
  void show() {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (seconds < 1.0) return;
    std::fprintf(stderr, "\r%s: %d of %d times, %.1f s", programName(), done_, total_, seconds);
    std::fflush(stderr);
    shown_ = true;
  }

  std::chrono::steady_clock::time_point start_;
  bool terminal_;
  int done_ = 0;
  int total_;
  bool shown_ = false;
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread ticker_;
};

long long milliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

int parseCommandLine(int argc, char** argv, CommandLine& cl) {
  CLI::App app{std::string(programName()) + ": numerical inverse Laplace transform (methods " +
                   orvane::methodList() + ", see --method).\n"
                   "Without arguments: reads UserParameters.txt in the working folder, writes the "
                   "console report and waits for Enter.",
               programName()};
  auto* parameterFile =
      app.add_option("PARAMETER_FILE", cl.parameterFile,
                     "Parameter file (default: UserParameters.txt in the working folder, unless --t or "
                     "--t-range gives the times)");
  auto* expr = app.add_option("--expr", cl.expr, "Transform F(s) as a formula in s, e.g. '1/(s+a)^2'");
  auto* file = app.add_option("--transform", cl.transformFile,
                              "Transform as C++ statements reading s and assigning Fs, compiled at run time");
  expr->excludes(file);
  std::vector<std::string> params;
  app.add_option("--param", params, "A real constant NAME=VALUE for --expr or --transform (repeatable)");
  auto* method = app.add_option("--method", cl.method,
                                "Inversion method: " + orvane::methodList() +
                                    " (default: auto, each method in turn for the times the ones "
                                    "before it do not meet)")
                     ->check(CLI::IsMember(orvane::methodNames()));
  app.add_option("--format", cl.format,
                 "Output format: table (default, a row per time), report (the console report of the "
                 "program without arguments), csv or json")
      ->check(CLI::IsMember({"table", "report", "csv", "json"}));
  auto* output = app.add_option("--output", cl.output, "Write the data to this file (whole, or not at all)");
  app.add_flag("--quiet", cl.quiet, "No banner, device lines or input report");
  addRequestOptions(app, cl.request);
  app.set_version_flag("--version", std::string(programName()) + " " + ORVANE_VERSION_STRING);
  try {
    app.parse(argc, argv);
    for (const std::string& p : params) cl.params.push_back(orvane::jit::parseParam(p));
    cl.methodGiven = method->count() > 0;
    cl.parameterFileGiven = parameterFile->count() > 0;
    cl.exprGiven = expr->count() > 0;
    cl.transformGiven = file->count() > 0;
    cl.outputGiven = output->count() > 0;
    std::vector<std::string> names;
    for (const auto& param : cl.params) names.push_back(param.first);
    orvane::jit::checkParameterNames(names);
    const std::string problem = argumentProblem(cl);
    if (!problem.empty()) throw orvane::Error(orvane::ErrorKind::kParameters, problem);
    cl.parsedRequest = parseRequest(cl.request);
  } catch (const CLI::ParseError& e) {
    // --help and --version end with 0; every usage error with 2.
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  } catch (const orvane::Error& e) {
    std::cerr << programName() << ": " << e.what() << std::endl;
    return 2;
  }
  return -1;
}

int runCommandLine(const CommandLine& cl) {
  const long long start = milliseconds();
  // The banner, the device lines and the input report: only in the report.
  std::ostream* console = cl.quiet || cl.format != "report" ? nullptr : &std::cout;
  // orvane-diag's diagnostic lines: on the console with the table and the
  // report, never in the data of csv and json.
  const bool machine = cl.format == "csv" || cl.format == "json";
  std::ostream* talk = cl.quiet || machine ? nullptr : &std::cout;
  // Times on the command line and no file named: no parameter file at all.
  const std::string file =
      cl.parameterFileGiven || !cl.request.givesTimes() ? cl.parameterFile : std::string();
  try {
    // The transform's text is checked before anything else happens.
    RunInputs inputs;
    inputs.parameterFile = file;
    inputs.params = cl.params;
    inputs.method = cl.method;
    std::vector<std::string> names;
    for (const auto& param : cl.params) names.push_back(param.first);
    std::string statements, origin;
    const std::string outputRefused = outputProblem(cl);
    if (!outputRefused.empty()) throw orvane::Error(orvane::ErrorKind::kParameters, outputRefused);
    if (cl.exprGiven) {
      inputs.transform = "expr";
      inputs.source = cl.expr;
      const orvane::jit::Expression checked(cl.expr, names);
      origin = "expression";
    } else if (cl.transformGiven) {
      inputs.transform = "transform";
      inputs.source = cl.transformFile;
      statements = readTransformFile(cl.transformFile);
      origin = cl.transformFile;
    } else {
      inputs.transform = "compiled-in";
    }

    if (console != nullptr) {
      writeBanner(*console);
    }
    const orvane::Parameters p = requestedFields(file, cl.parameterFileGiven, cl.parsedRequest);
    // Everything the library would refuse, refused before any work.
    orvane::Options request;
    request.method = orvane::Method(cl.method);
    request.max_grid_points = cl.parsedRequest.maxGridPoints;
    // No sizes given, in a file or with --sizes: auto's search follows the
    // request with larger ones for the times the default leaves unmet.
    if (file.empty() && cl.parsedRequest.sizes.empty()) request.larger_sizes = {128, 256};
    {
      const orvane::Inputs in = consoleInputs(p, request);
      in.options.check(in.t);
    }
    const orvane::DeviceCheck check = orvane::checkDevice();
    if (console != nullptr) writeDeviceCheck(check, *console, std::cerr);
    orvane::requireDevice(check);
    if (console != nullptr && !writeInputReport(p, *console)) orvane::detail::refuseSearchSwitch();

    std::unique_ptr<orvane::Transform> transform;
    orvane::jit::Options jit;
    jit.warnings = &std::cerr;
    if (origin.empty()) {
      transform = compiledInTransform();
    } else if (cl.exprGiven) {
      transform = orvane::jit::formulaTransform(cl.expr, cl.params, jit);
    } else {
      transform = orvane::jit::compileStatements(statements, origin, cl.params, jit);
    }

    Progress progress(int(p.Time.size()));
    orvane::SolverSettings settings;
    settings.diagnostics = ORVANE_DIAG ? talk : nullptr;
    orvane::Solver solver(settings, check);
    request.progress = [&progress](int done, int total) { progress(done, total); };
    const std::vector<orvane::Result> results = runParameters(solver, p, *transform, request);

    std::ostringstream data;
    if (cl.format == "csv") {
      writeCsv(results, data);
    } else if (cl.format == "json") {
      writeJson(results, p, inputs, data);
    } else if (cl.format == "table") {
      writeResultTable(results, p.RelErr, data);
    } else {
      std::vector<WeeksResult> records;
      for (const orvane::Result& r : results) records.push_back(weeksResult(r));
      writeResultReport(records.data(), int(records.size()), data, cl.methodGiven);
      writeWalkClockTime(milliseconds() - start, data);
    }
    if (cl.outputGiven) {
      const std::string failure = writeFileAtomically(cl.output, data.str(), {cl.parameterFile, cl.transformFile});
      if (!failure.empty()) {
        std::cerr << programName() << ": the output file " << cl.output << " " << failure << std::endl;
        return 1;
      }
    } else {
      std::cout << data.str() << std::flush;
    }
  } catch (const orvane::Error& e) {
    std::cerr << e.what() << std::endl;
    return 1;
  } catch (const std::bad_alloc&) {
    std::cerr << "Not enough memory to complete the run." << std::endl;
    return 1;
  }
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "The output could not be written to standard output." << std::endl;
    return 1;
  }
  return 0;
}
