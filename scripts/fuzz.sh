#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build-fuzz/ and runs each one
# for SECONDS (default 60) on a working copy of its committed seed corpus, after
# replaying every kept finding in fuzz/regressions/<target>/. Exits non-zero on a finding;
# the input that found it is left in build-fuzz/findings/.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"

seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(picture store options sheet)

dir="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVAN_FUZZ=ON >/dev/null
cmake --build "$dir" -j2 --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export HOME="$dir/home" XDG_CONFIG_HOME="$dir/home/config"
mkdir -p "$HOME" "$dir/findings"

for t in "${targets[@]}"; do
  echo "fuzz: $t for ${seconds}s" >&2
  regressions="$root/fuzz/regressions/$t"
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    "$dir/bin/fuzz_$t" -runs=0 "$regressions"/* >/dev/null 2>"$dir/findings/$t-regressions.log" \
      || { cat "$dir/findings/$t-regressions.log" >&2; exit 1; }
  fi
  work="$(mktemp -d)"
  log="$dir/findings/$t.log"
  # The settings store warns once per damaged file on stderr: -close_fd_mask=2 keeps
  # that out of the log (libFuzzer still reports its findings).
  if ! "$dir/bin/fuzz_$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=3072 \
      -max_len=65536 -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$dir/findings/$t-" \
      "$work" "$root/fuzz/corpus/$t" >"$log" 2>&1; then
    rm -rf "$work"
    tail -n 80 "$log" >&2
    echo "fuzz: $t found a fault; its input is in $dir/findings/" >&2
    exit 1
  fi
  rm -rf "$work"
  grep -E "^(Done|stat::number_of_executed_units|stat::peak_rss_mb)" "$log" >&2 || true
done
