#!/usr/bin/env bash
# Proves that an installed library runs with no environment set: no
# LD_LIBRARY_PATH, no ldconfig, no search paths beyond what a route needs.
#   tools/install-check.sh [BUILD_DIR]     (default: build)
# 0. The README's copy of the C example is tests/install/example.c.
# 1. Into a scratch prefix: the programs in tests/install build against it
#    through find_package and through pkg-config and run, the installed
#    spanwright-asset reads the file the C example wrote, and still runs
#    after the whole tree is moved.
# 2. The README's route, as a user takes it: configure, build and
#    `cmake --install BUILD_DIR` into the configured prefix (/usr/local by
#    default; run as root). Then the C example builds through find_package
#    and pkg-config with their default search paths, and it and the
#    installed spanwright-asset (found on PATH) run under `env -i`. What the
#    route installed is removed again at the end, so that no later check
#    can pass on a stale copy.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scratch=$(mktemp -d)
manifest=""
cleanup() {
    if [[ -n "$manifest" && -f "$manifest" ]]; then
        xargs -d '\n' rm -f < "$manifest"
        xargs -d '\n' -n 1 dirname < "$manifest" | sort -u | grep '/spanwright$' |
            xargs -r -d '\n' rmdir --ignore-fail-on-non-empty
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT
# grep reads to the end (no -q): a reader that stops early would end the
# writer with SIGPIPE, which pipefail reports as a failure.
bare() { env -i PATH=/usr/local/bin:/usr/bin:/bin "$@"; }

echo "-- the README shows tests/install/example.c as it is"
diff <(awk '/^```c$/ { on = 1; next } /^```$/ { on = 0 } on' README.md) tests/install/example.c

echo "-- install into a scratch prefix"
prefix=$scratch/usr
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name libspanwright.so | head -n 1)")
cmake -S tests/install -B "$scratch/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
cc -std=c99 tests/install/example.c -o "$scratch/pc-example" \
    $(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs spanwright)
mkdir "$scratch/run"
(
    cd "$scratch/run"
    bare ../consumer/consumer
    bare ../consumer/example
    bare ../pc-example
    bare "$prefix/bin/spanwright-asset" info example.pcx | grep '^format: PCX' >/dev/null
)
mv "$scratch/usr" "$scratch/moved"
(cd "$scratch/run" && bare ../moved/bin/spanwright-asset info example.pcx >/dev/null)
echo "scratch prefix: find_package, pkg-config and the installed tool run without LD_LIBRARY_PATH, also after a move"

echo "-- the README's route: cmake -S . -B $build -G Ninja && cmake --build $build && cmake --install $build"
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" >/dev/null
manifest=$build/install_manifest.txt
cmake --install "$build" >/dev/null
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
mkdir "$scratch/readme"
cp tests/install/example.c tests/install/CMakeLists.txt tests/install/consumer.c "$scratch/readme"
(
    cd "$scratch/readme"
    bare cmake -S . -B cmake-build -G Ninja >/dev/null
    bare cmake --build cmake-build >/dev/null
    bare sh -c 'cc -std=c99 example.c -o pc-example $(pkg-config --cflags --libs spanwright)'
    bare ./cmake-build/example
    bare ./pc-example
    bare spanwright-asset info example.pcx | grep '^format: PCX' >/dev/null
    [[ $(bare sh -c 'command -v spanwright-asset') == "$prefix/bin/spanwright-asset" ]]
)
echo "README route ($prefix): the installed tool and the C example run with no environment set"
