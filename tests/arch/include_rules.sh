#!/usr/bin/env bash
# The component's include rules: which headers each folder may include by a quoted path. The compiler and
# the link check keep Qt Gui and Widgets out of the core; these rules keep its layers in order, keep the
# public headers self-contained, and keep the demo host and the update command on the installed surface.
# Prints every include that breaks a rule and fails when there is one.
set -euo pipefail
root="${1:-$(cd "$(dirname "$0")/../.." && pwd)}"
cd "$root"

# folder | the prefixes its quoted includes may start with ("local": a file of the same folder, no path)
rules=(
  "src/kxview/include/kxview|kxview/ jet/"
  "src/kxview/core/services|kxview/ core/services/"
  "src/kxview/core/io|kxview/ core/services/ core/io/"
  "src/kxview/core/db|kxview/ jet/ core/services/ core/io/ core/db/"
  "src/kxview/core/data|kxview/ jet/ core/services/ core/io/ core/db/ core/data/"
  "src/kxview/core/update|kxview/ jet/ core/"
  "src/kxview/core/pickers|kxview/ jet/ core/"
  "src/kxview/widgets/services|kxview/ core/services/ widgets/services/"
  "src/kxview/widgets/controls|kxview/ core/ widgets/services/ widgets/controls/"
  "src/kxview/widgets/toolbar|kxview/ core/ widgets/services/ widgets/controls/ widgets/toolbar/"
  "src/kxview/widgets/browser|kxview/ core/ widgets/services/ widgets/controls/ widgets/browser/"
  "src/kxview/widgets/update|kxview/ core/ widgets/services/ widgets/controls/ widgets/update/"
  "src/kxview/widgets/pickers|kxview/ core/ widgets/services/ widgets/controls/ widgets/update/ widgets/pickers/"
  "src/kxview/designer|kxview/ widgets/toolbar/ designer/"
  "apps/demo|kxview/ sample/ local"
  "apps/update|kxview/ local"
  "apps/publish|kxview/ jet/ core/ publish/ local"
)

broken=0
for rule in "${rules[@]}"; do
  folder=${rule%%|*}
  read -r -a allowed <<<"${rule#*|}"
  while IFS=: read -r file line include; do
    name=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1/' <<<"$include")
    ok=0
    for prefix in "${allowed[@]}"; do
      if [ "$prefix" = local ]; then
        [[ "$name" != */* ]] && ok=1
      elif [[ "$name" == "$prefix"* ]]; then
        ok=1
      fi
    done
    if [ "$ok" = 0 ]; then
      echo "$file:$line: $folder may not include \"$name\"" >&2
      broken=1
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$folder" --include='*.h' --include='*.cpp' || true)
done
exit "$broken"
