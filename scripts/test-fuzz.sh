#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer (preset fuzz) and runs their tests: each target
# over its seed corpus in fuzz/corpus and a fixed number of mutated inputs.
#
#   ./scripts/test-fuzz.sh              the build and the tests (what CI runs)
#   ./scripts/test-fuzz.sh 600          then fuzz every target for 600 s
#   ./scripts/test-fuzz.sh 600 efuse_map   ... only the targets named
#
# Longer runs keep what they find in build/fuzz/fuzz/work/TARGET (seeded from
# fuzz/corpus/TARGET) and write a failing input to
# build/fuzz/fuzz/TARGET-crash-*; the seed corpus in the tree is only read.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-0}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(script_reader console_numbers cli_arguments limits_file efuse_map efuse_library spool_reader store_url pe_image)
fi
jobs=$(nproc 2>/dev/null || echo 2)

cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz

if [ "$seconds" -gt 0 ]; then
  out=build/fuzz/fuzz
  for target in "${targets[@]}"; do
    mkdir -p "$out/work/$target"
    read -r -a options < "$out/$target.options"
    echo "== fuzz_$target for $seconds s"
    # -close_fd_mask=1: the library's diagnostic lines on standard output
    # would drown libFuzzer's progress lines.
    "build/fuzz/bin/fuzz_$target" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 \
      -close_fd_mask=1 -artifact_prefix="$out/$target-" "$out/work/$target" "fuzz/corpus/$target"
  done
fi
