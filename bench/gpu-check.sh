#!/usr/bin/env bash
# GPU check, for a machine with an NVIDIA GPU (one call of under 10 minutes):
# builds the CUDA backend, runs its tests and benchmarks, and compares every
# (sigma, b) and f(t) of the shipped workload files with the host backend, and
# Talbot's results of both backends.
# The workload files come from ${PEERS:-../shared/bench} (the peers' folder,
# not in the repository: where it is absent their comparisons are skipped and
# the shipped example alone is compared), the reference pairs from
# ${TESTDATA:-tests/data}. Writes logs under ${OUT:-build-gpu-check};
# prints a short table last.
set -uo pipefail
cd "$(dirname "$0")/.."
out="${OUT:-build-gpu-check}"
mkdir -p "$out"
jobs="$(nproc)"
peers="${PEERS:-../shared/bench}"
testdata="${TESTDATA:-tests/data}"
nvcc="$(command -v nvcc || echo /usr/local/cuda/bin/nvcc)"
status=0

nvidia-smi -L | tee "$out/gpu.txt"

step() { echo "== $*"; }

step "host backend build"
cmake -S . -B build-host-check -DORVANE_BACKEND=host -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCH=ON >"$out/host-config.log" 2>&1 &&
  cmake --build build-host-check -j "$jobs" --target e2e_runner orvane >"$out/host-build.log" 2>&1 || { echo "host build failed"; status=1; }

step "CUDA backend build (tests and benchmarks)"
cmake -S . -B build-cuda-check -DORVANE_BACKEND=cuda -DCMAKE_CUDA_COMPILER="$nvcc" -DCMAKE_CUDA_ARCHITECTURES=native \
  -DORVANE_BUILD_BENCH=ON -DORVANE_TESTDATA="$testdata" >"$out/cuda-config.log" 2>&1 &&
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
compare() {  # file: both backends' end-to-end runners on it, every record compared
  local name="$1"
  for backend in host cuda; do
    "build-$backend-check/bench/e2e_runner" "$peers/$name" >"$out/$backend-$name.out" 2>>"$out/$backend-e2e.log"
  done
  python3 - "$out/host-$name.out" "$out/cuda-$name.out" "$name" <<'PY'
import sys
host = [l.split() for l in open(sys.argv[1]) if l.strip()]
cuda = [l.split() for l in open(sys.argv[2]) if l.strip()]
name, bad = sys.argv[3], 0
for h, c in zip(host, cuda):
    same_pair = h[3:5] == c[3:5]
    fh, fc = float(h[1]), float(c[1])
    rel = abs(fh - fc) / max(abs(fh), 1e-300)
    ok = same_pair and rel < 1e-9
    bad += not ok
    print(f"{name:14s} t={h[0]:>6s} (sigma,b) {'same' if same_pair else 'DIFFER ' + ' '.join(h[3:5]) + ' vs ' + ' '.join(c[3:5])}"
          f"  f(t) rel diff {rel:.1e} {'ok' if ok else 'MISMATCH'}")
print(f"{name}: {len(host)} records, {bad} mismatches" + ("" if len(host) == len(cuda) else " (record counts differ)"))
sys.exit(1 if bad or len(host) != len(cuda) or not host else 0)
PY
}
workloads=(w60.txt w60n256.txt wmix.txt wuser.txt)
peers_w60="$peers/w60.txt"
if [ ! -f "$peers_w60" ]; then
  echo "the peers' folder $peers is absent; the workload files' comparisons are skipped"
  workloads=()
  peers_w60=examples/UserParameters.txt
fi
for f in "${workloads[@]}"; do compare "$f" || status=1; done

step "transform given at run time (NVRTC and the driver API) against the compiled-in one"
if build-cuda-check/orvane "$peers_w60" --format csv --quiet >"$out/compiled-in.csv" 2>>"$out/runtime.log" &&
   XDG_CACHE_HOME="$out/cache" build-cuda-check/orvane "$peers_w60" --transform user/UserFs --format csv --quiet \
     >"$out/runtime.csv" 2>>"$out/runtime.log"; then
  python3 - "$out/compiled-in.csv" "$out/runtime.csv" <<'PY' || status=1
import csv, sys
a = list(csv.DictReader(open(sys.argv[1])))
b = list(csv.DictReader(open(sys.argv[2])))
worst = max((abs(float(x["re"]) - float(y["re"])) / max(abs(float(x["re"])), 1e-300) for x, y in zip(a, b)), default=0)
same = len(a) == len(b) and all(x["sigma"] == y["sigma"] and x["b"] == y["b"] for x, y in zip(a, b))
print(f"run-time transform: {len(b)} records, same (sigma, b): {same}, max f(t) rel diff {worst:.1e}")
sys.exit(0 if same and worst < 1e-12 else 1)
PY
else
  echo "run-time transform failed:"; tail -20 "$out/runtime.log"; status=1
fi

step "every method and the automatic choice: host and CUDA backends"
talbot() {  # file method: both backends' csv, f(t) and node counts compared
  local file="$1" method="$2" tag
  tag="$(basename "$file" .txt)-$method"
  for backend in host cuda; do
    "build-$backend-check/orvane" "$file" --method "$method" --format csv --quiet >"$out/$backend-$tag.csv"       2>>"$out/$backend-talbot.log" || { echo "$backend $tag failed"; return 1; }
  done
  python3 - "$out/host-$tag.csv" "$out/cuda-$tag.csv" "$tag" <<'PY'
import csv, math, sys
a = list(csv.DictReader(open(sys.argv[1])))
b = list(csv.DictReader(open(sys.argv[2])))
bad = 0
for x, y in zip(a, b):
    fx, fy = complex(float(x["re"]), float(x["im"])), complex(float(y["re"]), float(y["im"]))
    rel = abs(fx - fy) / max(abs(fx), 1e-300)
    # The math libraries differ in the last bits: the values must agree far
    # inside the predicted error, with the same method and flag.
    pred = float(x["abs_err"])
    ok = x["method"] == y["method"] and x["flag"] == y["flag"] and (rel < 1e-10 or abs(fx - fy) < 0.01 * pred)
    bad += not ok
    if not ok:
        print(f"  t={x['t']}: host {x['method']} N={x['N']} {fx} flag {x['flag']}, "
              f"cuda {y['method']} N={y['N']} {fy} flag {y['flag']}: MISMATCH")
worst = max((abs(complex(float(x["re"]), float(x["im"])) - complex(float(y["re"]), float(y["im"])))
             / max(abs(complex(float(x["re"]), float(x["im"]))), 1e-300) for x, y in zip(a, b)), default=0)
print(f"{sys.argv[3]}: {len(a)} records, max f(t) rel diff {worst:.1e}, {bad} mismatches")
sys.exit(1 if bad or len(a) != len(b) or not a else 0)
PY
}
# Every method the program lists (its registry), auto included.
methods=$(build-host-check/orvane --help | sed -n 's/.*--method TEXT:{\([^}]*\)}.*/\1/p' | tr , ' ')
[ -n "$methods" ] || { echo "no methods listed by orvane --help"; status=1; }
for method in $methods; do
  [ "$peers_w60" = examples/UserParameters.txt ] || talbot "$peers_w60" "$method" || status=1
  talbot examples/UserParameters.txt "$method" || status=1
done

step "formulas with special functions (NVRTC on the device, the host evaluator): against mpmath"
# tests/data/hydrology_values.txt: id formula params t f. Each case's times in
# one call of each backend; the values must agree with each other and, where
# either says met, with mpmath.
specials() {
  local id="$1" formula="$2" params="$3" times="$4" args=() backend
  [ "$params" = "-" ] || for p in ${params//,/ }; do args+=(--param "$p"); done
  for backend in host cuda; do
    XDG_CACHE_HOME="$out/cache" "build-$backend-check/orvane" --expr "$formula" "${args[@]}" --t "$times" \
      --method dehoog --rel-err 1e-8 --format csv --quiet >"$out/$backend-special-$id.csv" 2>>"$out/special.log" ||
      { echo "$backend $id failed"; return 1; }
  done
  python3 - "$out/host-special-$id.csv" "$out/cuda-special-$id.csv" "$id" tests/data/hydrology_values.txt <<'PY'
import csv, sys
a = list(csv.DictReader(open(sys.argv[1])))
b = list(csv.DictReader(open(sys.argv[2])))
exact = [float(l.split()[4]) for l in open(sys.argv[4]) if l.split() and l.split()[0] == sys.argv[3]]
bad, worst = 0, 0.0
for x, y, f in zip(a, b, exact):
    fx, fy = float(x["re"]), float(y["re"])
    rel = abs(fx - fy) / max(abs(fx), 1e-300)
    worst = max(worst, rel)
    honest = all(r["flag"] != "0" or abs(float(r["re"]) - f) < 1e-8 * abs(f) for r in (x, y))
    ok = x["flag"] == y["flag"] and (rel < 1e-10 or abs(fx - fy) < 0.01 * float(x["abs_err"])) and honest
    bad += not ok
    if not ok:
        print(f"  t={x['t']}: host {fx} flag {x['flag']}, cuda {fy} flag {y['flag']}, exact {f}: MISMATCH")
print(f"{sys.argv[3]}: {len(a)} times, max host/cuda rel diff {worst:.1e}, {bad} mismatches")
sys.exit(1 if bad or len(a) != len(b) or len(a) != len(exact) else 0)
PY
}
while read -r id formula params times; do
  specials "$id" "$formula" "$params" "$times" || status=1
done < <(awk '!/^#/ && NF == 5 { t[$1] = ($1 in t ? t[$1] "," : "") $4; f[$1] = $2; p[$1] = $3 }
              END { for (k in t) print k, f[k], p[k], t[k] }' tests/data/hydrology_values.txt | sort)

echo "== gpu-check finished with status $status"
exit $status
