#!/usr/bin/env bash
# Installs a built tree into a temporary prefix, checks what was installed,
# builds examples/library against that prefix alone and checks what invert_exp
# prints for good and bad arguments. Usage (from anywhere):
#   tests/packaging/library_example.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
prefix=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$prefix" "$work"' EXIT
fail() { echo "library example: $*" >&2; exit 1; }

# 1. The installed tree: the library, the public headers (with orvane/detail/,
#    what a caller's functor instantiates), the package files and the programs;
#    nothing else (no engine header, no test program, no diagnostic library).
cmake --install "$build" --prefix "$prefix"
unexpected=$(cd "$prefix" && find . -type f | sed 's|^\./||' | grep -v -E \
  '^(bin/orvane|bin/orvane-diag|lib[^/]*(/[^/]+)?/liborvane\.a|include/orvane/(detail/)?[a-z_]+\.h|lib[^/]*(/[^/]+)?/cmake/orvane/orvane[A-Za-z-]*\.cmake)$' || true)
[ -z "$unexpected" ] || fail "installed files that do not belong: $unexpected"
for f in include/orvane/orvane.h include/orvane/version.h include/orvane/detail/sampling.h \
         include/orvane/detail/launch.h include/orvane/detail/grid.h; do
  [ -f "$prefix/$f" ] || fail "$f was not installed"
done
library=$(find "$prefix" -name liborvane.a)
[ -n "$library" ] || fail "liborvane.a was not installed"
package=$(dirname "$(find "$prefix" -name orvaneConfig.cmake)")
[ -f "$package/orvaneConfigVersion.cmake" ] || fail "orvaneConfigVersion.cmake was not installed"

# 2. The package's version is the header's, M.m.p. A request is met by the
#    same minor version only (M.m and M.m.p yes; M.m-1, M.m+1 and M+1.0 no): a
#    minor release before 1.0 may change what callers compile against. A
#    package of version M+1.0.0 would not meet a request for M.m.
version=$(sed -n 's/^#define ORVANE_VERSION_STRING "\([0-9]*\.[0-9]*\.[0-9]*\)"$/\1/p' \
            "$prefix/include/orvane/version.h")
[ -n "$version" ] || fail "version.h holds no version M.m.p"
IFS=. read -r major minor _ <<< "$version"
next_major="$((major + 1)).0.0"
cat > "$work/compatible.cmake" <<'CMAKE'
string(REPLACE "." ";" parts "${PACKAGE_FIND_VERSION}")
list(GET parts 0 PACKAGE_FIND_VERSION_MAJOR)
list(GET parts 1 PACKAGE_FIND_VERSION_MINOR)
include("${version_file}")
message("${PACKAGE_VERSION} ${PACKAGE_VERSION_COMPATIBLE}")
CMAKE
sed "s/$version/$next_major/g" "$package/orvaneConfigVersion.cmake" > "$work/relabelled.cmake"
for case in "$version $major.$((minor - 1)) FALSE" "$version $major.$minor TRUE" "$version $version TRUE" \
            "$version $major.$((minor + 1)) FALSE" "$version $((major + 1)).0 FALSE" \
            "$next_major $major.$minor FALSE"; do
  read -r installed request expected <<< "$case"
  file="$package/orvaneConfigVersion.cmake"
  [ "$installed" = "$version" ] || file="$work/relabelled.cmake"
  got=$(cmake -Dversion_file="$file" -DPACKAGE_FIND_VERSION="$request" -P "$work/compatible.cmake" 2>&1)
  [ "$got" = "$installed $expected" ] ||
    fail "package $installed, request $request: expected compatible $expected, got '$got'"
done

# 3. The example, found through CMAKE_PREFIX_PATH and nothing else.
cmake -S examples/library -B "$work/example" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release
found=$(sed -n 's/^orvane_DIR:PATH=//p' "$work/example/CMakeCache.txt")
[ "$found" -ef "$package" ] || fail "the example found orvane at $found, not in the prefix"
cmake --build "$work/example"
invert_exp="$work/example/invert_exp"

# 4. f(t) = exp(-t) at t = 0.5, 1 and 2, from the formula compiled at run time
#    and from the functor compiled in: three lines of ten fields each, the times
#    echoed, the imaginary part 0, flag 0 (the requested 1e-10 met), within
#    1e-10 of exp(-t), and a method name.
export XDG_CACHE_HOME="$work/cache"
for how in "" "--functor"; do
  "$invert_exp" $how 0.5 1 2 > "$work/out.txt"
  cat "$work/out.txt"
  awk 'function abs(x) { return x < 0 ? -x : x }
       NF != 10 { print "line " NR ": " NF " fields"; bad = 1; next }
       $1 != (NR == 1 ? 0.5 : NR == 2 ? 1 : 2) { print "line " NR ": time " $1; bad = 1 }
       $8 !~ /^[0-9]+$/ || $8 != 0 { print "line " NR ": flag " $8; bad = 1 }
       abs($2 - exp(-$1)) > 1e-10 || abs($3) > 1e-10 { print "line " NR ": f(t) " $2 " " $3; bad = 1 }
       $10 !~ /^(weeks|talbot|dehoog)$/ { print "line " NR ": method " $10; bad = 1 }
       END { if (NR != 3) { print NR " lines"; bad = 1 }; exit bad }' "$work/out.txt" ||
    fail "invert_exp $how 0.5 1 2 printed the wrong results"
done

# 5. Bad arguments: usage on the error stream, nothing on standard output, exit 2.
for args in "" "--functor" "abc" "-1" "1x" "nan" "inf" "0.5 -0.5"; do
  rc=0
  # shellcheck disable=SC2086  # the arguments are split on purpose
  "$invert_exp" $args > "$work/out.txt" 2> "$work/err.txt" || rc=$?
  [ "$rc" -eq 2 ] || fail "invert_exp $args: exit $rc, expected 2"
  [ ! -s "$work/out.txt" ] || fail "invert_exp $args: wrote to standard output"
  grep -q '^usage: invert_exp \[--functor\] TIME' "$work/err.txt" || fail "invert_exp $args: no usage message"
done

# 6. A library error (the host backend's emulated device count set to 0): its
#    message on the error stream, exit 1.
if grep -q 'set(orvane_BACKEND "host")' "$package/orvaneConfig.cmake"; then
  rc=0
  ORVANE_HOST_DEVICE_COUNT=0 "$invert_exp" 1 > "$work/out.txt" 2> "$work/err.txt" || rc=$?
  [ "$rc" -eq 1 ] || fail "with no device: exit $rc, expected 1"
  grep -q '^invert_exp: .' "$work/err.txt" || fail "with no device: no message on the error stream"
fi
echo "library example: all checks passed"
