#!/usr/bin/env bash
# Installs what building and testing brem32 needs on Debian 12 (run as root).
#   scripts/install-deps.sh [demo|all]
# "demo" installs the native tool chain only; "all" (the default) adds the
# Windows cross tool chain, Wine and the reference tools the tests compare with.
set -euo pipefail
what=${1:-all}
pkgs=(cmake g++ make pkg-config)
pkgs+=(dpkg-dev debhelper file)  # the Debian packages: dpkg-buildpackage with debhelper (dpkg-shlibdeps needs file)
pkgs+=(python3)  # the demo reads the store's mail back from mbox with Python's mailbox module
if [ "$what" = all ]; then
  # wine64 runs the 64-bit Windows build on any machine; wine32 the 32-bit
  # build, where the machine runs 32-bit code (installing it is harmless where
  # it does not).
  pkgs+=(googletest libgtest-dev libgmock-dev mingw-w64 wine wine64 wine32 ncompress sharutils mpack uudeview
         gzip python3 file)
  pkgs+=(clang libclang-rt-14-dev)  # the fuzz targets (libFuzzer with the sanitizers)
  pkgs+=(lintian systemd logrotate)  # the release check of the Debian packages, their units and logrotate file
  pkgs+=(uucp)  # Debian's UUCP (Taylor's), whose uuxqt runs brem rmail and brem rnews in a test
fi

missing=()
for p in "${pkgs[@]}"; do
  if [ "$p" = wine32 ]; then
    dpkg -s wine32:i386 >/dev/null 2>&1 || missing+=(wine32:i386)
  else
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (run as root, or install them)" >&2
  exit 1
fi
if [ "$what" = all ] && ! dpkg --print-foreign-architectures | grep -x i386 >/dev/null; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
