#!/usr/bin/env bash
# Installs, from Debian's archive, whatever the build and the tests need and
# the machine lacks. Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ clang pkg-config
  # host services
  libspng-dev libdeflate-dev libopenjp2-7-dev libstb-dev zlib1g-dev
  # the pictra tool; librsvg draws SVG artwork for `pictra create`
  libcli11-dev libfmt-dev librsvg2-dev
  # its manual page, the Debian package (dpkg-shlibdeps) and the install test
  scdoc dpkg-dev man-db bash-completion zsh
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # independent readers and writers of icons that the tests compare with
  python3-pil icoutils icnsutils imagemagick
  # the fuzz run: libFuzzer and the sanitizer runtimes for Clang
  libclang-rt-14-dev
  # the module, the host and their tests for 32-bit big-endian PowerPC
  g++-powerpc-linux-gnu binutils-powerpc-linux-gnu qemu-user googletest
  # the same for 64-bit big-endian s390x (its codec libraries: s390x-sysroot.sh)
  g++-s390x-linux-gnu binutils-s390x-linux-gnu
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
