#!/usr/bin/env bash
# Installs what this project needs on a Debian machine; quiet when nothing is missing.
set -euo pipefail

packages=(
  cmake make g++ g++-mingw-w64-x86-64-posix
  libgtest-dev googletest clang libclang-rt-14-dev
  wine wine64 xvfb xauth xdotool x11-utils imagemagick
  tesseract-ocr tesseract-ocr-eng nsis python3 openssl osslsigncode iproute2 util-linux curl
  squid
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
