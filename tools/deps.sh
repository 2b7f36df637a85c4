#!/usr/bin/env bash
# Installs the Debian packages a build needs, only those missing.
#   tools/deps.sh          build, tests, benchmarks, demo
#   tools/deps.sh --peer   also the peer libraries and valgrind of the
#                          comparison suite (bench/compare.sh)
#   tools/deps.sh --targets  also the other targets' compilers (Clang 14,
#                          the i686 and aarch64 cross compilers), qemu-user
#                          to run their programs, and SIMDe
#   tools/deps.sh --windows  the MinGW-w64 compilers (x86-64 and i686, POSIX
#                          threads), wine64 to run the 64-bit programs, the X
#                          server and ImageMagick for the screen checks
#   tools/deps.sh --ci     all of the above, the interoperability codecs, the
#                          X server and the peer libraries
# Cross compilers come with their own C library; no foreign dpkg
# architecture is added.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libpng-dev libsdl2-dev)
targets=(clang-14 g++-i686-linux-gnu g++-aarch64-linux-gnu qemu-user libsimde-dev)
# Only wine64: a 32-bit wine would need the i386 dpkg architecture.
windows=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 xvfb xauth imagemagick
         python3 python3-pil)
if [[ "${1:-}" == "--ci" ]]; then
    packages+=("${targets[@]}" "${windows[@]}" libclang-rt-14-dev python3 python3-pil imagemagick xvfb xauth
               x11-apps libpixman-1-dev valgrind)
elif [[ "${1:-}" == "--windows" ]]; then
    packages+=("${windows[@]}")
elif [[ "${1:-}" == "--targets" ]]; then
    packages+=("${targets[@]}")
elif [[ "${1:-}" == "--peer" ]]; then
    packages+=(libpixman-1-dev valgrind)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    sudo=""
    [[ $(id -u) -ne 0 ]] && sudo=sudo
    export DEBIAN_FRONTEND=noninteractive
    # Another install may hold the package lock; wait for it rather than fail.
    lock=(-o DPkg::Lock::Timeout=600)
    $sudo apt-get "${lock[@]}" update -qq
    $sudo apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
fi
