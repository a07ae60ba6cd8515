#!/usr/bin/env bash
# Builds the JSON fuzz target with clang (libFuzzer, ASan, UBSan) in its own build folder and
# runs it for a number of seconds (default 60) on a copy of fuzz/corpus/json.
# Fails on any crash, sanitizer report or broken invariant.
#
#   fuzz/run.sh [seconds]
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${GUILD_ONEBOT_FUZZ_BUILD:-$root/build-fuzz}"
work="$root/fuzz/corpus-work/json"

# Every object of the target is instrumented for libFuzzer's coverage and both sanitizers;
# only the fuzzer's own main is linked in by the target itself.
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DGUILD_ONEBOT_FUZZ=ON -DGUILD_ONEBOT_TESTS=OFF -DGUILD_ONEBOT_BENCH=OFF >/dev/null
cmake --build "$build" --target json_fuzz

rm -rf "$work"
mkdir -p "$work"
cp "$root"/fuzz/corpus/json/* "$work"/

# -rss_limit_mb leaves room for the deep-nesting inputs; libFuzzer exits non-zero on a crash.
"$build/fuzz/json_fuzz" "$work" \
  -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=4096 \
  -print_final_stats=1 -artifact_prefix="$root/fuzz/corpus-work/"
echo "json_fuzz: ${seconds}s without a finding"
