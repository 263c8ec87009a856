#!/usr/bin/env bash
# Installs the Debian packages the driver, its tests and its demo need.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config clang-format
  unixodbc unixodbc-dev odbcinst
  libssl-dev libjansson-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  python3-pyodbc bison libsqlite3-dev libclang-rt-14-dev clang
  squid nginx-light stunnel4 libcurl4-openssl-dev apache2-utils curl
  libdbd-odbc-perl libsqliteodbc qt6-base-dev
  xvfb xdotool xclip python3-sqlalchemy python3-pandas
  r-cran-rodbc)
# --demo: only what the quick start needs (build the driver and the setup library, run isql and
# pyodbc against a local node).
if [ "${1:-}" = "--demo" ]; then
  packages=(build-essential cmake ninja-build pkg-config bison unixodbc unixodbc-dev odbcinst
    libssl-dev libjansson-dev zlib1g-dev qt6-base-dev python3-pyodbc curl)
  command -v npm > /dev/null || packages+=(npm)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
