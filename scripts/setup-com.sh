#!/usr/bin/env bash
# Installs the Debian packages that the Windows build of the component and its
# tests under Wine need: the MinGW-w64 cross compilers (64- and 32-bit), widl,
# Wine's IDL files and stdole2.tlb, and the 64-bit Wine. Safe to run again.
set -euo pipefail
packages=(
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools
  libwine-dev wine64 wine
  cmake make dpkg-dev
)
. "$(dirname "$0")/apt_install.sh"
apt_install "${packages[@]}"
