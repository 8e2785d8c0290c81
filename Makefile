# Quick start: `make run` builds and runs the shipped example; `make test`
# builds and runs the whole test suite (and, where nvcc exists, compiles the
# CUDA backend so that it keeps building).
JOBS ?= $(shell nproc)
NVCC := $(shell command -v nvcc 2>/dev/null || ls /usr/local/cuda/bin/nvcc 2>/dev/null)

.PHONY: all deps configure build run test bench cuda-build clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	cmake --preset default

build: configure
	cmake --build --preset default -j $(JOBS)

run: build
	@rm -rf build/run && mkdir -p build/run
	@cp examples/UserParameters.txt build/run/
	cd build/run && ../orvane < /dev/null

test: build
	ctest --preset default -j $(JOBS)
ifneq ($(NVCC),)
	$(MAKE) cuda-build
endif

# Times one inversion core call for N = 64 and N = 512 (Google Benchmark).
bench: deps
	cmake --preset default -DORVANE_BUILD_BENCH=ON
	cmake --build --preset default -j $(JOBS) --target orvane_bench
	build/bench/orvane_bench

# Compiles and links the CUDA backend (it runs only where there is a GPU).
cuda-build: deps
	cmake --preset cuda -DORVANE_BUILD_TESTS=OFF -DCMAKE_CUDA_COMPILER=$(NVCC)
	cmake --build --preset cuda -j $(JOBS)

clean:
	rm -rf build build-cuda
