#!/usr/bin/env bash
# The project's main job: builds the demo host, builds the sample application directory when it is
# missing, and opens the demo window on it. Without a display, or with --screenshots DIR, the demo renders
# offscreen, writes a screenshot of each library kind (quota, material, bill item) and exits.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
build="${BUILD_DIR:-build}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target kxview-sample kxview-demo

app="$build/sample-app"
if [ ! -d "$app" ]; then
  # Built aside and moved into place, so an interrupted build never leaves a half directory behind.
  rm -rf "$app.partial"
  "$build"/bin/kxview-sample "$app.partial"
  mv "$app.partial" "$app"
fi
exec "$build"/bin/kxview-demo --app-dir "$app" "$@"
