#!/usr/bin/env bash
# GPU check, for a machine with an NVIDIA GPU (one call of under 10 minutes):
# builds the CUDA backend, runs its tests and benchmarks, and compares every
# (sigma, b) and f(t) of the shipped workload files with the host backend.
# Writes logs under ${OUT:-build-gpu-check}; prints a short table last.
set -uo pipefail
cd "$(dirname "$0")/.."
out="${OUT:-build-gpu-check}"
mkdir -p "$out"
jobs="$(nproc)"
nvcc="$(command -v nvcc || echo /usr/local/cuda/bin/nvcc)"
status=0

nvidia-smi -L | tee "$out/gpu.txt"

step() { echo "== $*"; }

step "host backend build"
cmake -S . -B build-host-check -DORVANE_BACKEND=host -DORVANE_BUILD_TESTS=OFF >"$out/host-config.log" 2>&1 &&
  cmake --build build-host-check -j "$jobs" --target orvane >"$out/host-build.log" 2>&1 || { echo "host build failed"; status=1; }

step "CUDA backend build (tests and benchmarks)"
cmake -S . -B build-cuda-check -DORVANE_BACKEND=cuda -DCMAKE_CUDA_COMPILER="$nvcc" -DCMAKE_CUDA_ARCHITECTURES=native \
  -DORVANE_BUILD_BENCH=ON >"$out/cuda-config.log" 2>&1 &&
  cmake --build build-cuda-check -j "$jobs" >"$out/cuda-build.log" 2>&1 || { echo "CUDA build failed"; tail -30 "$out/cuda-build.log"; status=1; }

step "CUDA backend tests"
(cd build-cuda-check && ctest --output-on-failure -j 4 --timeout 300) >"$out/cuda-tests.log" 2>&1 || status=1
tail -3 "$out/cuda-tests.log"

step "CUDA backend benchmarks"
if [ -x build-cuda-check/bench/orvane_bench ]; then
  build-cuda-check/bench/orvane_bench --benchmark_min_time=0.2 >"$out/cuda-bench.txt" 2>&1 || status=1
  tail -40 "$out/cuda-bench.txt"
fi

step "host and CUDA backends on the workload files"
compare() {  # file: run both programs on it and compare the result records
  local name="$1" dir
  for backend in host cuda; do
    dir="$out/run-$backend-$name"
    mkdir -p "$dir" && cp "../shared/bench/$name" "$dir/UserParameters.txt"
    (cd "$dir" && "../../build-$backend-check/orvane" </dev/null >stdout.txt 2>stderr.txt)
    grep -E '^(Time|f\(t\)|sigma|b|Absolute|Relative|Tolerance) ' "$dir/stdout.txt" >"$dir/records.txt"
  done
  python3 - "$out/run-host-$name/records.txt" "$out/run-cuda-$name/records.txt" "$name" <<'PY'
import re, sys
def records(path):
    recs, cur = [], {}
    for line in open(path):
        key, _, val = line.partition(" = ")
        cur[key] = val.strip()
        if key == "Tolerance Flag":
            recs.append(cur); cur = {}
    return recs
h, c, name = records(sys.argv[1]), records(sys.argv[2]), sys.argv[3]
bad = 0
for a, b in zip(h, c):
    fa = [float(x) for x in re.findall(r"[-+0-9.e]+", a["f(t)"].replace(" + ", " "))[:2]]
    fb = [float(x) for x in re.findall(r"[-+0-9.e]+", b["f(t)"].replace(" + ", " "))[:2]]
    same_pair = a["sigma"] == b["sigma"] and a["b"] == b["b"]
    rel = abs(fa[0] - fb[0]) / max(abs(fa[0]), 1e-300)
    ok = same_pair and rel < 1e-5
    bad += not ok
    print(f"{name:14s} t={a['Time']:>13s} sigma,b {'same' if same_pair else 'DIFFER'}  f(t) rel diff {rel:.1e} {'ok' if ok else 'MISMATCH'}")
print(f"{name}: {len(h)} records, {bad} mismatches" + ("" if len(h) == len(c) else " (record counts differ)"))
sys.exit(1 if bad or len(h) != len(c) else 0)
PY
}
for f in w60.txt w60n256.txt wmix.txt wuser.txt; do compare "$f" || status=1; done

echo "== gpu-check finished with status $status"
exit $status
