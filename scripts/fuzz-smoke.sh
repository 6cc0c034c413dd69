#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each briefly: the page decoders and the writer over
# seeds taken from the sample files, the SQL layer over statements the component issues and hostile ones.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DKXVIEW_FUZZ=ON \
  -DKXVIEW_BUILD_TESTS=OFF -DKXVIEW_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target jet_fuzz_pages jet_fuzz_sql jet_fuzz_write
samples="${JET_SAMPLES:-../shared/jet-samples}"
seconds="${FUZZ_SECONDS:-45}"
# Crash inputs stay in the build folder, out of the repository.
mkdir -p build-fuzz/artifacts

# Runs fuzz target $1 over the seed folder $2 with any further options.
run() {
  local target="$1" seeds="$2"
  shift 2
  echo "== $target"
  UBSAN_OPTIONS=print_stacktrace=1 "build-fuzz/bin/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -artifact_prefix="build-fuzz/artifacts/$target-" "$@" "$seeds"
}

pages=build-fuzz/seeds/pages
rm -rf "$pages" && mkdir -p "$pages"
for f in "$samples"/*.mdb; do
  # Small seeds: the first pages of each sample.
  head -c 65536 "$f" > "$pages/$(basename "$f")"
done
run jet_fuzz_pages "$pages"

# Whole Jet 4 files: the writer needs every page a table reaches.
writes=build-fuzz/seeds/writes
rm -rf "$writes" && mkdir -p "$writes"
for f in "$samples"/jackcess_V2000_*.mdb "$samples"/jackcess_V2003_*.mdb; do
  [ "$(stat -c %s "$f")" -le 400000 ] && cp "$f" "$writes/"
done
run jet_fuzz_write "$writes" -max_len=400000

statements=build-fuzz/seeds/sql
rm -rf "$statements" && mkdir -p "$statements"
n=0
while IFS= read -r line; do
  n=$((n + 1))
  printf '%s' "$line" > "$statements/$n.sql"
done <<'SQL'
SELECT * FROM DM WHERE Mid(DM.Class,1,4)='0101' Order BY Code1,Code2
SELECT * FROM DM WHERE Name Like '*name*' AND NOT (Qty > 3 OR Price Is Null) ORDER BY Code DESC, ID
SELECT MAX(ID) AS m, Count(*), Sum(Qty), Avg(Price), Min(Name) FROM DM WHERE D >= 40010
SELECT Len(Name), UCase(Code), LCase(Name), Trim(' a '), Left(Name, 2), Right(Name, 3) FROM DM
UPDATE DM SET Qty = Qty * 2 + 1, Name = 'x''y' & Code WHERE ID = 3
UPDATE DM SET Price = 1e20 WHERE Code = 'C1'
DELETE * FROM DM WHERE Note Like '[a-n]?#*' OR ID = -4
SELECT * FROM [DM] WHERE [DM].[ID] IN (1) ORDER BY ((((ID))))
SQL
run jet_fuzz_sql "$statements" -max_len=4096
