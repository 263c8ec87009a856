#!/usr/bin/env bash
# Installs the Debian packages the driver, its tests and its demo need.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config clang-format
  unixodbc unixodbc-dev odbcinst
  libssl-dev libjansson-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  python3-pyodbc bison libsqlite3-dev libclang-rt-14-dev clang
  squid nginx-light stunnel4 libcurl4-openssl-dev apache2-utils curl
  libdbd-odbc-perl libsqliteodbc qt6-base-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
