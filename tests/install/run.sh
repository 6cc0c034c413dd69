#!/usr/bin/env bash
# Installs the build into a temporary prefix, then configures, builds and runs a host with find_package.
set -euo pipefail
build="$1"
host_src="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$host_src" -B "$work/host" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/host" >/dev/null
"$work/host/host" "$work/new.mdb"
