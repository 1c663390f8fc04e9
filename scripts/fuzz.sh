#!/usr/bin/env bash
# Fuzzes every target with libFuzzer under AddressSanitizer and UndefinedBehaviorSanitizer:
#   bash scripts/fuzz.sh [SECONDS-PER-TARGET]   (default 600)
# New inputs go to build-fuzz/corpus/TARGET; a crash leaves its input in build-fuzz/.
# Copy an input that found a fault into fuzz/corpus/TARGET so it stays a test.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
bash scripts/setup-debian.sh clang libclang-rt-14-dev
sanitize="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="$sanitize" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
targets=(study_reader study_roundtrip number_texts frequency_import)
cmake --build build-fuzz --target "${targets[@]/#/fuzz_}"
for t in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$t"
  echo "== fuzz_$t for ${seconds}s"
  (cd build-fuzz && "./fuzz/fuzz_$t" -max_total_time="$seconds" -max_len=4096 \
     -rss_limit_mb=2048 -print_final_stats=1 "corpus/$t" "../fuzz/corpus/$t")
done
