#!/usr/bin/env bash
# Installs the Debian packages the project builds, runs and tests with.
# Run as root or as a user with sudo. Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools qt6-charts-dev libqt6opengl6-dev
  libgl-dev
  xvfb xauth icoutils fonts-wine
  fonts-noto-cjk
  libcli11-dev nlohmann-json3-dev libutfcpp-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest
  wine wine64
  dpkg-dev file pkgconf help2man lintian appstream desktop-file-utils
  clang libclang-rt-14-dev
  unixodbc unixodbc-dev odbc-postgresql libsqliteodbc postgresql sqlite3
  chromium chromium-driver libcpp-httplib-dev
  python3 python3-pytest mypy python3-setuptools python3-pip python3-venv
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
