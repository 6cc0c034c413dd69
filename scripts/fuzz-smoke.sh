#!/usr/bin/env bash
# Builds the libFuzzer target with clang and runs it briefly over seeds taken from the sample files.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f fuzz/CMakeLists.txt ]; then
  echo "fuzz: no fuzz targets yet"
  exit 0
fi
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DKXVIEW_FUZZ=ON \
  -DKXVIEW_BUILD_TESTS=OFF -DKXVIEW_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target jet_fuzz_pages
seeds=build-fuzz/seeds
rm -rf "$seeds" && mkdir -p "$seeds"
samples="${JET_SAMPLES:-../shared/jet-samples}"
for f in "$samples"/*.mdb; do
  # Small seeds: the first pages of each sample.
  head -c 65536 "$f" > "$seeds/$(basename "$f")"
done
# Crash inputs stay in the build folder, out of the repository.
mkdir -p build-fuzz/artifacts
build-fuzz/bin/jet_fuzz_pages -max_total_time="${FUZZ_SECONDS:-60}" -rss_limit_mb=2048 -timeout=10 \
  -artifact_prefix=build-fuzz/artifacts/ "$seeds"
