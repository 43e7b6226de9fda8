#!/usr/bin/env bash
# Builds and runs every test suite in three configurations:
#   release  optimised, assertions on, every suite
#   asan     AddressSanitizer + UndefinedBehaviorSanitizer, every suite
#   tsan     ThreadSanitizer, the suites that start threads
# After the release tests, the install rules and the Debian package are checked
# (scripts/check-package.sh).
# Build trees live in build/<config>; ccache shares object files between runs (and, through its
# base directory, between checkouts of the tree). Before building, the include layering is
# checked against scripts/layers.txt.
# Exits non-zero when the layering check fails, any configuration fails to build or any test
# fails.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || exit 1

jobs=${JOBS:-$(nproc)}
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/tardivox-ccache}
export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-5G}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$PWD")}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

configs=${CONFIGS:-"release asan tsan"}
status=0
summary=()
passed=0
failed=0
mkdir -p build

echo "=== layering ==="
if bash scripts/check-layers.sh; then
  summary+=("layering: passed"); passed=$((passed + 1))
else
  summary+=("layering: FAILED"); status=1; failed=$((failed + 1))
fi

for cfg in $configs; do
  dir=build/$cfg
  case $cfg in
    release) flags=(-DCMAKE_BUILD_TYPE=Release) ;;
    asan) flags=(-DCMAKE_BUILD_TYPE=Debug "-DTARDIVOX_SANITIZE=address,undefined" -DCMAKE_CXX_FLAGS_DEBUG=-O1) ;;
    tsan) flags=(-DCMAKE_BUILD_TYPE=Debug -DTARDIVOX_SANITIZE=thread -DCMAKE_CXX_FLAGS_DEBUG=-O1
                 -DTARDIVOX_THREADED_TESTS_ONLY=ON) ;;
    *) echo "unknown configuration $cfg"; exit 2 ;;
  esac
  echo "=== $cfg: configure and build ==="
  if ! cmake -S . -B "$dir" -G Ninja "${flags[@]}" >"$dir.configure.log" 2>&1; then
    cat "$dir.configure.log"; summary+=("$cfg: configure FAILED"); status=1; continue
  fi
  if ! cmake --build "$dir" -j "$jobs"; then
    summary+=("$cfg: build FAILED"); status=1; continue
  fi
  echo "=== $cfg: tests ==="
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" 2>&1 | tee "$dir.ctest.log"
  rc=${PIPESTATUS[0]}
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$dir.ctest.log" | tail -n 1)
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  if [ -n "$line" ]; then
    passed=$((passed + total - bad)); failed=$((failed + bad))
  fi
  if [ "$rc" -eq 0 ] && [ -n "$line" ]; then
    summary+=("$cfg: $line")
  else
    summary+=("$cfg: tests FAILED ($line)"); status=1; [ -n "$line" ] || failed=$((failed + 1))
  fi
  if [ "$cfg" = release ]; then
    echo "=== release: install rules and package ==="
    if bash scripts/check-package.sh "$dir"; then
      summary+=("package: passed"); passed=$((passed + 1))
    else
      summary+=("package: FAILED"); status=1; failed=$((failed + 1))
    fi
  fi
done

echo "=== summary ==="
printf '%s\n' "${summary[@]}"
echo "total: $passed passed, $failed failed"
exit $status
