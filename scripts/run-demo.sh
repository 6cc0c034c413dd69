#!/usr/bin/env bash
# The project's main job. Until the demo host exists this shows the engine at work: it lists the
# tables of a real Access file and exports one of them with the `jet` tool.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)" --target jet-tool
samples="${JET_SAMPLES:-$(cd .. && pwd)/shared/jet-samples}"
file="$samples/jackcess_V2003_testV2003.mdb"
echo "== tables of $(basename "$file")"
build/bin/jet tables "$file"
echo "== schema of Table1"
build/bin/jet schema "$file" Table1
echo "== export of Table1"
build/bin/jet export "$file" Table1
echo "== a Jet 3 file with Chinese text, read as GB18030"
build/bin/jet export "$samples/ucanaccess_charsetGBK_jet3.mdb" table1 --codepage GB18030
