#!/usr/bin/env bash
# Runs a benchmark command several times and summarises each of its RATIO lines as the median of the runs
# with their range, so that ratios on a shared, noisy machine are quoted as medians, not single runs:
#
#   bash bench/repeat-ratios.sh RUNS COMMAND [ARG...]
#
# prints "RATIO <what>: median <m> [<min>-<max>] over <n> runs" for every RATIO line the command printed,
# taking the first number after the line's last colon-separated label.
set -euo pipefail
if [ $# -lt 2 ] || ! [[ "$1" =~ ^[0-9]+$ ]] || [ "$1" -lt 1 ]; then
  echo "usage: bench/repeat-ratios.sh RUNS COMMAND [ARG...]" >&2
  exit 2
fi
runs=$1
shift
lines=$(mktemp)
trap 'rm -f "$lines"' EXIT
for _ in $(seq "$runs"); do
  "$@" 2>/dev/null | grep '^RATIO ' >> "$lines" || true
done
# Label: the text up to the colon that precedes the figures; value: the first number after it.
awk '{
  label = $0; sub(/: [^:]*$/, "", label)
  rest = substr($0, length(label) + 3)
  if (match(rest, /-?[0-9]+(\.[0-9]+)?(e[-+]?[0-9]+)?/)) {
    value = substr(rest, RSTART, RLENGTH)
    if (!(label in count)) order[++labels] = label
    values[label, ++count[label]] = value + 0
  }
}
END {
  for (l = 1; l <= labels; ++l) {
    label = order[l]; n = count[label]
    for (i = 1; i <= n; ++i) v[i] = values[label, i]
    for (i = 2; i <= n; ++i) { x = v[i]; for (j = i - 1; j >= 1 && v[j] > x; --j) v[j + 1] = v[j]; v[j + 1] = x }
    median = n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    printf "%s: median %.3g [%.3g-%.3g] over %d runs\n", label, median, v[1], v[n], n
  }
}' "$lines"
