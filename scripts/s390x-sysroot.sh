#!/usr/bin/env bash
# Makes a private sysroot of Debian's s390x builds of the host's system codec
# libraries (libspng, OpenJPEG, libdeflate and zlib, with their headers):
# the :s390x packages are downloaded, not installed, and unpacked with
# dpkg-deb, so that no s390x package ever meets the machine's own (a
# multiarch install fails on version skew). Does nothing when the sysroot is
# complete already.
#   scripts/s390x-sysroot.sh SYSROOT_DIR
set -euo pipefail
sysroot=${1:?usage: s390x-sysroot.sh SYSROOT_DIR}
packages=(libspng0 libspng-dev libopenjp2-7 libopenjp2-7-dev libdeflate0 libdeflate-dev
          zlib1g zlib1g-dev)
stamp=$sysroot/.complete
[ -f "$stamp" ] && [ "$(cat "$stamp")" = "${packages[*]}" ] && exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
if ! dpkg --print-foreign-architectures | grep -qx s390x; then
  "${sudo_cmd[@]}" dpkg --add-architecture s390x
  "${sudo_cmd[@]}" apt-get update -qq
fi
debs=$sysroot/debs
rm -rf "$sysroot"
mkdir -p "$debs"
chmod 0777 "$debs"  # apt downloads as its own user where it can
(cd "$debs" && apt-get download -qq "${packages[@]/%/:s390x}") || {
  # The lists may predate the architecture (or be stale): refresh once.
  "${sudo_cmd[@]}" apt-get update -qq
  (cd "$debs" && apt-get download -qq "${packages[@]/%/:s390x}")
}
for deb in "$debs"/*.deb; do dpkg-deb -x "$deb" "$sysroot"; done
echo "${packages[*]}" >"$stamp"
