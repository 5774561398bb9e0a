#!/usr/bin/env bash
# Builds Zorvan and runs its test suite. With --sanitize the build and the run use
# AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer. Tests that need an X
# display get one: the caller's, or a private Xvfb started here.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh" test

dir="$root/build"
# The tests and benchmarks are asked for each time: scripts/run.sh configures the same
# build/ without them.
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVAN_TESTS=ON)
if [ "${1:-}" = "--sanitize" ]; then
  dir="$root/build-asan"
  flags+=(-DZORVAN_SANITIZE=ON -DZORVAN_BENCH=OFF)
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
  export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
else
  flags+=(-DZORVAN_BENCH=ON)
fi

cmake -S "$root" -B "$dir" "${flags[@]}" >/dev/null
cmake --build "$dir" -j2

if [ -n "${DISPLAY:-}" ]; then
  ctest --test-dir "$dir" --output-on-failure -j2
else
  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --test-dir "$dir" --output-on-failure -j2
fi
