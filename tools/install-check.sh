#!/usr/bin/env bash
# Installs the library from BUILD_DIR into a scratch prefix and builds a
# small outside program against it twice: with find_package(spanwright) and
# with pkg-config.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix/usr" >/dev/null
cmake -S tests/install -B "$prefix/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix/usr" >/dev/null
cmake --build "$prefix/consumer" >/dev/null
libdir=$(dirname "$(find "$prefix/usr" -name libspanwright.so | head -n 1)")
LD_LIBRARY_PATH=$libdir "$prefix/consumer/consumer"
export PKG_CONFIG_PATH=$libdir/pkgconfig
cc tests/install/consumer.c -o "$prefix/pc-consumer" $(pkg-config --cflags --libs spanwright)
LD_LIBRARY_PATH=$libdir "$prefix/pc-consumer"
