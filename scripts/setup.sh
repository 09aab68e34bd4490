#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing),
# configures and builds the program into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build g++ pkg-config python3 ca-certificates
  qt6-base-dev libqt6svg6 libcurl4-openssl-dev nlohmann-json3-dev libuchardet-dev
  libxcb1-dev
  libgtest-dev libgmock-dev
  libbenchmark-dev libpugixml-dev libxml2-dev libexpat1-dev libtinyxml2-dev
  fonts-dejavu-core
  xvfb xauth xdotool imagemagick
  at-spi2-core python3-pyatspi dbus-x11 dbus-daemon
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

[ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
