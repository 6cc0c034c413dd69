#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks that exactly the listed public headers were
# installed (build/kxview_public_headers.txt, written from src/kxview/CMakeLists.txt) and that the Qt
# Designer plugin, when built, lies where Designer finds it. Then configures, builds and runs a host with
# find_package that uses every installed header of the component. The host also compiles a file that
# includes every installed header, so a public header that needs a header left out of the installation
# fails here.
set -euo pipefail
build="$1"
host_src="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null

include="$work/prefix/include"
stray=$(find "$include" -mindepth 1 -maxdepth 1 ! -name kxview ! -name jet)
private=$(find "$include" -name '*_p.h' -o -name '*internal*')
if [ -n "$stray$private" ]; then
  echo "installed headers that are not public: $stray $private" >&2
  exit 1
fi
installed=$(cd "$include/kxview" && find . -type f | sed 's|^\./||' | sort)
listed=$(sort "$build/kxview_public_headers.txt")
if [ "$installed" != "$listed" ]; then
  echo "installed component headers differ from the list (< installed, > listed):" >&2
  diff <(echo "$installed") <(echo "$listed") >&2 || true
  exit 1
fi
if [ -f "$build/src/kxview/libkxview_designer.so" ] &&
  [ -z "$(find "$work/prefix" -path '*/qt6/plugins/designer/libkxview_designer.so')" ]; then
  echo "the Qt Designer plugin was built but not installed into lib/qt6/plugins/designer" >&2
  exit 1
fi
(cd "$include" && find kxview jet -name '*.h' | sort | sed 's|.*|#include <&>|') >"$work/all_headers.cpp"

cmake -S "$host_src" -B "$work/host" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DKXVIEW_ALL_HEADERS="$work/all_headers.cpp" >/dev/null
cmake --build "$work/host" >/dev/null
"$work/host/host" "$work/run"
