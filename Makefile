# Quick start: `make run` builds the two programs and the Python package and
# runs the shipped example twice (the original console mode, then with the
# method chosen per time);
# `make test` builds everything and runs every check (the C++ tests, the Python
# tests, the sanitizer suite, fuzzing, the CUDA build where nvcc exists, the
# library example), each stage's output in a log under build*/ and one summary
# line per stage on the console.
JOBS ?= $(shell nproc)
NVCC := $(shell command -v nvcc 2>/dev/null || ls /usr/local/cuda/bin/nvcc 2>/dev/null)
# New build folders use Ninja where it is installed (CMAKE_GENERATOR set in the
# environment wins; a folder keeps the generator it was made with).
ifeq ($(origin CMAKE_GENERATOR),undefined)
  ifneq ($(shell command -v ninja 2>/dev/null),)
    export CMAKE_GENERATOR := Ninja
  endif
endif

# The transforms compiled in: a make variable of the same name (make test
# ORVANE_USER_FS=path) or else build/'s cached setting, passed to every build so
# that the sanitizer, fuzz and CUDA builds compile the same F(s) as build/.
cached = $(shell sed -n 's/^$(1):[A-Z]*=//p' build/CMakeCache.txt 2>/dev/null)
ORVANE_USER_FS ?= $(call cached,ORVANE_USER_FS)
ORVANE_DIAG_USER_FS ?= $(call cached,ORVANE_DIAG_USER_FS)
FS_OPTIONS = $(foreach v,ORVANE_USER_FS ORVANE_DIAG_USER_FS,$(if $($(v)),"-D$(v)=$($(v))"))

.PHONY: all deps configure build run install test bench cuda-build sanitize-test fuzz library-example clean

all: build

# Each target installs what it needs and the machine lacks (see the script);
# the Python module and the test suite are built where their packages are.
DEPS := scripts/install-deps.sh
deps:
	@$(DEPS) build
	@$(DEPS) --optional python tests

configure: deps
	cmake --preset default $(FS_OPTIONS)

build: configure
	cmake --build --preset default -j $(JOBS)

# The Python module too, where the build has it: what `import orvane` finds
# with PYTHONPATH=build/python.
run: configure
	cmake --build --preset default -j $(JOBS) --target orvane orvane-diag \
	  $$(grep -qs '^ORVANE_PYTHON_DIR:' build/CMakeCache.txt && echo _orvane)
	@rm -rf build/run && mkdir -p build/run
	@cp examples/UserParameters.txt build/run/
	cd build/run && ../orvane < /dev/null
	@echo
	@echo "---- the same example as a table, the method chosen per time (orvane --method auto UserParameters.txt) ----"
	cd build/run && ../orvane --method auto UserParameters.txt

# The programs, the library, its headers and CMake package into PREFIX
# (bin/orvane, bin/orvane-diag, lib/, include/, lib/cmake/orvane/).
PREFIX ?= $(HOME)/.local
install: configure
	cmake --build --preset default -j $(JOBS) --target orvane orvane-diag
	cmake --install build --prefix "$(PREFIX)"

# Every stage runs, even after a failure; make test fails if any stage failed.
test:
	@JOBS=$(JOBS) NVCC="$(NVCC)" FUZZ_SECONDS=$(CI_FUZZ_SECONDS) scripts/test-stages.sh $(MAKE)

# The sanitizer build, build-asan/: Clang with AddressSanitizer and
# UndefinedBehaviorSanitizer (any report fails the run), line tables for the
# reports' stack traces; the fuzz target is built in the same folder, so that
# the engine is compiled once for both.
# A build-asan/ made with another compiler (by an earlier version) is made anew.
SANITIZE_CONFIGURE = if [ -f build-asan/CMakeCache.txt ] && \
    ! grep -qs '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' build-asan/CMakeCache.txt; then rm -rf build-asan; fi; \
  cmake -S . -B build-asan -DCMAKE_CXX_COMPILER=clang++ -DORVANE_BACKEND=host \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -gline-tables-only -DNDEBUG" \
  -DORVANE_SANITIZE=ON -DORVANE_FUZZ=ON $(FS_OPTIONS)

# The suite again under the sanitizers. SANITIZE_TARGETS: what is built, by
# default the double-precision suite (every subsystem, both programs run as
# processes); SANITIZE_TARGETS=all adds the single-precision unit tests.
SANITIZER_ENV := ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
SANITIZE_TARGETS ?= orvane_tests
sanitize-test:
	@$(DEPS) build tests fuzz
	$(SANITIZE_CONFIGURE)
	cmake --build build-asan -j $(JOBS) --target $(SANITIZE_TARGETS)
	cd build-asan && $(SANITIZER_ENV) ctest --output-on-failure --no-tests=error -j $(JOBS) -E '_NOT_BUILT$$'

# Fuzzes the parameter file reader for FUZZ_SECONDS (libFuzzer), starting from
# fuzz/corpus; the corpus it grows and crashing inputs land in build-fuzz/
# (keep those in fuzz/regressions).
FUZZ_SECONDS ?= 300
CI_FUZZ_SECONDS ?= 30
FUZZER := build-asan/fuzz/orvane_fuzz_params
fuzz:
	@$(DEPS) build fuzz
	$(SANITIZE_CONFIGURE)
	cmake --build build-asan -j $(JOBS) --target orvane_fuzz_params
	@mkdir -p build-fuzz/corpus build-fuzz/artifacts
	$(FUZZER) $(wildcard fuzz/regressions/* fuzz/corpus/*) > build-fuzz/replay.log 2>&1 || (cat build-fuzz/replay.log; exit 1)
	$(FUZZER) -max_total_time=$(FUZZ_SECONDS) -max_len=8192 -print_final_stats=1 \
	  -artifact_prefix=build-fuzz/artifacts/ build-fuzz/corpus fuzz/corpus

# Stage benchmarks (Google Benchmark), then the peers on the same work (the
# numpy peer, mpmath's Talbot inversion) and one summary table, auto and
# Talbot per value against mpmath's Talbot on the reference pairs, then the Python
# package's targets (bench/python_bench.py). The peers and their workload files
# are not in the repository: they are read from ../shared/bench, and where that
# folder is absent each script says so in one line and skips the comparison.
# BENCH_MIN_TIME: seconds each benchmark case runs at least.
BENCH_MIN_TIME ?= 0.05
bench:
	@$(DEPS) build tests bench
	cmake --preset default -DORVANE_BUILD_BENCH=ON $(FS_OPTIONS)
	cmake --build --preset default -j $(JOBS) --target orvane_benchmarks orvane
	build/bench/orvane_bench --benchmark_min_time=$(BENCH_MIN_TIME) --benchmark_counters_tabular=true \
	  --benchmark_out=build/bench/stages.json --benchmark_out_format=json
	/usr/bin/python3 bench/run_peers.py --build build --peers ../shared/bench --stages build/bench/stages.json
	/usr/bin/python3 bench/auto_vs_mpmath.py --build build --testdata tests/data
	@if grep -q '^ORVANE_PYTHON_DIR:' build/CMakeCache.txt; then \
	  cmake --build --preset default -j $(JOBS) --target _orvane && \
	  PYTHONPATH=build/python $(call cached,Python3_EXECUTABLE) bench/python_bench.py --peers ../shared/bench && \
	  OMP_NUM_THREADS=1 PYTHONPATH=build/python $(call cached,Python3_EXECUTABLE) bench/fast_peers_compare.py --peers ../shared/bench; \
	else echo "make bench: the Python module is not built; its measurements are skipped"; fi

# Compiles and links the CUDA backend (it runs only where there is a GPU), for
# the GPU architectures CUDA_ARCHITECTURES, the targets CUDA_TARGETS (default:
# all). make test: one architecture and orvane (the library and a program),
# enough to show that the backend builds.
CUDA_ARCHITECTURES ?= 75;80;86;89;90
CUDA_TARGETS ?= all
cuda-build:
	@$(DEPS) build
	cmake --preset cuda -DORVANE_BUILD_TESTS=OFF -DCMAKE_CUDA_COMPILER=$(NVCC) \
	  "-DORVANE_CUDA_ARCHITECTURES=$(CUDA_ARCHITECTURES)" $(FS_OPTIONS)
	cmake --build --preset cuda -j $(JOBS) --target $(CUDA_TARGETS)

# Installs build/ into a temporary prefix, builds examples/library against it
# and checks what invert_exp prints.
library-example: build
	tests/packaging/library_example.sh build

clean:
	rm -rf build build-cuda build-asan build-fuzz build-pip
