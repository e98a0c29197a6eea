#!/bin/sh
# Installs the Debian packages that building and testing duriv need, only
# those that are missing. Run as root (CI does) or with sudo available.
set -e

# libisal-dev: ISA-L's inflater reads zlib bodies. groff checks the manual
# page; dpkg-dev (dpkg-shlibdeps) and file let the Debian package test compute
# its dependencies; ninja-build lets the CMake package test build with the
# Ninja generator too; zsh loads the zsh completion in its test; python3's
# zlib module is the second zlib reader a new package is checked with.
PACKAGES="cmake make gcc g++ pkg-config qtbase5-dev zlib1g-dev libbz2-dev libisal-dev libgtest-dev groff dpkg-dev file"
PACKAGES="$PACKAGES ninja-build zsh python3"
# Every peer that bench/run.sh measures, /usr/bin/time, and zlib-flate (qpdf).
if [ "$1" = "--bench" ]; then
  PACKAGES="$PACKAGES libarchive-tools tar gzip pigz zip unzip time qpdf"
fi
if [ "$1" = "--fuzz" ]; then
  PACKAGES="$PACKAGES clang libclang-rt-dev"
fi

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -z "$missing" ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" != 0 ]; then
  SUDO=sudo
fi
echo "installing:$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends $missing
