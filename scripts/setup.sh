#!/usr/bin/env bash
# Installs the Debian packages that building and testing need. Safe to run again.
set -euo pipefail
packages=(
  build-essential cmake clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libxml2-dev libxml2-utils libsqlite3-dev sqlite3
  unixodbc unixodbc-dev odbcinst libsqliteodbc tdsodbc
  libcli11-dev nlohmann-json3-dev libsimdjson-dev
  clang libclang-rt-dev
  locales
)
. "$(dirname "$0")/apt_install.sh"
apt_install "${packages[@]}"

# A comma-decimal locale, so that the tests can prove that no formatting
# depends on the process locale.
if ! locale -a 2>/dev/null | grep -qi '^it_IT\.utf-\?8$'; then
  $sudo_cmd localedef -i it_IT -f UTF-8 it_IT.UTF-8
fi
