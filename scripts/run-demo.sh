#!/usr/bin/env bash
# The project's main job. Until the demo host exists this builds the sample application directory with
# the engine's writer and shows the data layer at work on it with the `jet` tool: the tables of the quota
# library, a category listing as the browser issues it, a find, and a Jet 3 file with Chinese text.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
cmake -S . -B "${BUILD_DIR:-build}" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "${BUILD_DIR:-build}" --parallel "$(nproc)" --target jet-tool kxview-sample

app="${BUILD_DIR:-build}/sample-app"
rm -rf "$app"
"${BUILD_DIR:-build}"/bin/kxview-sample "$app"
quota="$app/造价资料/定额库/建筑工程消耗量定额.QTDE"
jet="${BUILD_DIR:-build}/bin/jet"

# Runs a jet command and shows the first N lines of its output (whole output first, so that a closed
# pipe never cuts the command short).
first_lines() {
  local n="$1"
  shift
  "$jet" "$@" > "$app/.output"
  head -n "$n" "$app/.output"
}

echo "== tables of $(basename "$quota")"
"$jet" tables "$quota"
echo "== KeyInfo"
"$jet" export "$quota" KeyInfo
echo "== the first category's items, as the browser lists them"
class=$(first_lines 2 sql "$quota" "SELECT * FROM DMIndex WHERE ParentID<>0 ORDER BY OCode" | sed -n '2p' | cut -d, -f4 | tr -d '"')
first_lines 12 sql "$quota" "SELECT * FROM DM WHERE Mid(DM.Class,1,${#class})='$class' Order BY Code1,Code2,Code3,Code4"
echo "== find by name"
first_lines 6 sql "$quota" "SELECT * FROM DM WHERE Name Like '*土方*'"

samples="${JET_SAMPLES:-$(cd .. && pwd)/shared/jet-samples}"
echo "== a Jet 3 file with Chinese text, read as GB18030"
"$jet" export "$samples/ucanaccess_charsetGBK_jet3.mdb" table1 --codepage GB18030
