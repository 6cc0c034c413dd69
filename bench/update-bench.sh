#!/usr/bin/env bash
# The update machinery against the standard tools, measured in the same run:
#   - a 50 MB package fetched over HTTP on 127.0.0.1 through the download dialog (shown offscreen) against
#     curl fetching the same file from the same server followed by a sync of that file (goal: within 1.2x),
#     since our download syncs the file before it reports completion; the dialog's longest pause between
#     two paints of its status line (goal: below 200 ms);
#   - the same package extracted as UnZipArchive does against unzip (goal: within 2x of unzip's time).
# Transfer times are taken inside each program (curl's own total plus the time `sync FILE` takes, our
# start-to-completion), so that the start of a Qt process is not counted against the transfer; extraction
# compares whole processes.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target update_bench kxview_test_httpd
bench="$build"/bin/update_bench
data="$build"/bench-data/update
mkdir -p "$data/www"
package="$data/www/更新包.rar"
[ -f "$package" ] || "$bench" make-package "$package" 50
export QT_QPA_PLATFORM=offscreen

"$build"/bin/kxview_test_httpd --root "$data/www" > "$data/server.out" &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$data/out"' EXIT
for _ in $(seq 50); do grep -q PORT "$data/server.out" 2>/dev/null && break; sleep 0.1; done
url="http://127.0.0.1:$(awk '/PORT/ { print $2 }' "$data/server.out")/%E6%9B%B4%E6%96%B0%E5%8C%85.rar"

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Seven transfers each, in turns, into a fresh folder every time: curl's, then the sync of what it wrote,
# then ours; the ratio is taken turn by turn, so that a drift of the machine's speed falls on both sides.
: > "$data/curl.times"
: > "$data/synced.times"
: > "$data/ours.times"
for _ in 1 2 3 4 5 6 7; do
  rm -rf "$data/out" && mkdir -p "$data/out"
  fetched=$(curl -s -o "$data/out/package.rar" -w '%{time_total}' "$url")
  synced=$( { TIMEFORMAT='%R'; time sync "$data/out/package.rar"; } 2>&1)
  echo "$fetched" >> "$data/curl.times"
  awk -v f="$fetched" -v s="$synced" 'BEGIN { print f + s }' >> "$data/synced.times"
  rm -rf "$data/out" && mkdir -p "$data/out"
  "$bench" download "$url" "$data/out" 2>/dev/null | tee -a "$data/ours.log" |
    awk '{ print $5 }' >> "$data/ours.times"
done
bytes=$(stat -c %s "$package")
curl_s=$(median < "$data/curl.times")
synced_s=$(median < "$data/synced.times")
ours_s=$(median < "$data/ours.times")
ratios=$(paste -d' ' "$data/ours.times" "$data/synced.times" | awk '{ print $1 / $2 }' | sort -g)
pause=$(awk '/longest pause/ { if ($(NF-1) > m) m = $(NF-1) } END { print m + 0 }' "$data/ours.log")
rm -f "$data/ours.log"
awk -v b="$bytes" -v c="$curl_s" -v s="$synced_s" -v o="$ours_s" -v p="$pause" -v r="$ratios" 'BEGIN {
  n = split(r, ratio, "\n")
  printf "RATIO download %.1f MB, ours / curl followed by a sync of its file (goal <= 1.2): %.3g [%.3g-%.3g] (median of %d turns; medians: ours %.3f s = %.0f MB/s, curl and sync %.3f s; curl alone %.3f s = %.0f MB/s)\n",
    b / 1048576, ratio[int((n + 1) / 2)], ratio[1], ratio[n], n, o, b / 1048576 / o, s, c, b / 1048576 / c
  printf "PAUSE longest pause between paints of the status line (goal < 200 ms): %d ms\n", p }'

# Best CPU time (user + system) and best wall time of five whole runs, each into a fresh folder.
best_times() {
  local cpu="" wall=""
  for _ in 1 2 3 4 5; do
    rm -rf "$data/out" && mkdir -p "$data/out"
    local t
    t=$( { TIMEFORMAT='%U %S %R'; time "$@" > /dev/null 2>&1; } 2>&1 | awk '{ printf "%.3f %.3f", $1 + $2, $3 }')
    cpu=$(awk -v a="${t% *}" -v b="$cpu" 'BEGIN { print (b == "" || a < b) ? a : b }')
    wall=$(awk -v a="${t#* }" -v b="$wall" 'BEGIN { print (b == "" || a < b) ? a : b }')
  done
  echo "$cpu $wall"
}
read -r ours_cpu ours_wall < <(best_times "$bench" extract "$package" "$data/out")
read -r unzip_cpu unzip_wall < <(best_times unzip -qq -o "$package" -d "$data/out")
awk -v oc="$ours_cpu" -v ow="$ours_wall" -v uc="$unzip_cpu" -v uw="$unzip_wall" 'BEGIN {
  printf "RATIO extract, ours / unzip (goal <= 2): CPU %.3g, wall %.3g (ours %.3f s CPU %.3f s wall, unzip %.3f s CPU %.3f s wall)\n",
    oc / uc, ow / uw, oc, ow, uc, uw }'
