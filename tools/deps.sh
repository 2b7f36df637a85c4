#!/usr/bin/env bash
# Installs the Debian packages a build needs, only those missing.
#   tools/deps.sh          build, tests, benchmarks, demo
#   tools/deps.sh --peer   also the peer libraries and valgrind of the
#                          comparison suite (bench/compare.sh)
#   tools/deps.sh --ci     also the fuzzing compiler, the interoperability
#                          codecs, the X server and the peer libraries
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libpng-dev libsdl2-dev)
if [[ "${1:-}" == "--ci" ]]; then
    packages+=(clang-14 libclang-rt-14-dev python3 python3-pil imagemagick xvfb xauth
               x11-apps libpixman-1-dev valgrind)
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
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
