#!/usr/bin/env bash
# The stages of `make test`, run in order from the Makefile:
#   scripts/test-stages.sh MAKE     (environment: JOBS, NVCC, FUZZ_SECONDS)
# The stages: the C++ tests, the Python tests, the sanitizer tests, fuzzing,
# the CUDA build and the library example.
# Each stage's own output goes to a log under build*/; the console gets one
# line as a stage starts, ctest's closing line, the log's tail when a stage
# fails, and one summary line per stage at the end. Every stage runs even after
# a failure; the exit status is 1 if any failed.
set -u
cd "$(dirname "$0")/.."
make_cmd=${1:-make}
jobs=${JOBS:-2}
fuzz_seconds=${FUZZ_SECONDS:-30}
summary=()
failed=0

# stage NAME LOG COMMAND...: runs COMMAND with its output in LOG.
stage() {
  local name=$1 log=$2
  shift 2
  mkdir -p "$(dirname "$log")"
  echo "make test: $name (log: $log)"
  if "$@" > "$log" 2>&1; then
    summary+=("make test: $name passed")
    return 0
  fi
  echo "make test: $name FAILED; the end of $log:"
  tail -n 40 "$log" | sed 's/^/    /'
  summary+=("make test: $name FAILED (log: $log)")
  failed=1
  return 1
}

# Each stage first checks (and, as root, installs) the packages it needs.
cxx_tests() {
  scripts/install-deps.sh build tests python &&
    "$make_cmd" --no-print-directory build JOBS="$jobs" && ctest --preset default -j "$jobs"
}
stage "C++ tests" build/test.log cxx_tests
# CI reads ctest's closing line ("100% tests passed, 0 tests failed out of N").
grep -E '^[0-9]+% tests passed' build/test.log

# The Python package in build/python, with the system interpreter (the one the
# module was built for) and pytest; skipped when the build skipped the module.
python_tests() {
  scripts/install-deps.sh pytest || return 1
  local python
  python=$(sed -n 's/^Python3_EXECUTABLE:[A-Z]*=//p' build/CMakeCache.txt)
  PYTHONPATH="$PWD/build/python${PYTHONPATH:+:$PYTHONPATH}" \
    "${python:-/usr/bin/python3}" -m pytest -p no:cacheprovider -q python/tests
}
if ls build/python/orvane/_orvane*.so > /dev/null 2>&1; then
  stage "Python tests" build/python-test.log python_tests
  # The closing line of pytest ("43 passed in 14.1s").
  grep -E '^[0-9]+ (passed|failed)' build/python-test.log | tail -n 1
else
  reason=$(sed -n 's/^-- Orvane Python module: *skipped,* *//p' build/test.log | tail -n 1)
  summary+=("make test: Python tests skipped (${reason:-the module was not built})")
fi

stage "sanitizer tests" build-asan/test.log "$make_cmd" --no-print-directory sanitize-test JOBS="$jobs"

if stage "fuzzing" build-fuzz/fuzz.log \
     "$make_cmd" --no-print-directory fuzz JOBS="$jobs" FUZZ_SECONDS="$fuzz_seconds"; then
  summary[-1]="make test: fuzzing passed ($fuzz_seconds s)"
fi

if [ -n "${NVCC:-}" ]; then
  # One GPU architecture and one program: the stage shows that the backend
  # compiles and links.
  stage "CUDA build" build-cuda/build.log "$make_cmd" --no-print-directory cuda-build JOBS="$jobs" \
    CUDA_ARCHITECTURES="${CUDA_ARCHITECTURES:-80}" CUDA_TARGETS="${CUDA_TARGETS:-orvane}"
else
  summary+=("make test: CUDA build skipped (no nvcc)")
fi

stage "library example" build/library-example.log "$make_cmd" --no-print-directory library-example JOBS="$jobs"

printf '%s\n' "${summary[@]}"
exit "$failed"
