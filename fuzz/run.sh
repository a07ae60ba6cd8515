#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) in their own build folder and
# runs each for a number of seconds (default 60) on a copy of its seed corpus:
#   json_fuzz     JSON parser         fuzz/corpus/json
#   gateway_fuzz  gateway frames      fuzz/corpus/gateway
#   action_fuzz   OneBot actions      fuzz/corpus/action
# Fails on any crash, sanitizer report or broken invariant.
#
#   fuzz/run.sh [seconds] [target...]
set -euo pipefail

seconds="${1:-60}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then targets=(json_fuzz gateway_fuzz action_fuzz); fi
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${GUILD_ONEBOT_FUZZ_BUILD:-$root/build-fuzz}"

# Every object of the targets is instrumented for libFuzzer's coverage and both sanitizers;
# only the fuzzer's own main is linked in by each target itself.
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DGUILD_ONEBOT_FUZZ=ON -DGUILD_ONEBOT_TESTS=OFF -DGUILD_ONEBOT_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

for target in "${targets[@]}"; do
  name="${target%_fuzz}"
  work="$root/fuzz/corpus-work/$name"
  rm -rf "$work"
  mkdir -p "$work"
  cp "$root/fuzz/corpus/$name"/* "$work"/
  # -rss_limit_mb leaves room for the deep-nesting inputs; libFuzzer exits non-zero on a crash.
  "$build/fuzz/$target" "$work" \
    -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$root/fuzz/corpus-work/$name-"
  echo "$target: ${seconds}s without a finding"
done
