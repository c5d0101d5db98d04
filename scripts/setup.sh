#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, run and test Morvala.
# Only missing packages are installed, non-interactively.
set -euo pipefail
packages=(cmake g++ make pkg-config qt6-base-dev qt6-qpa-plugins qt6-translations-l10n
          libgtest-dev libgmock-dev libsqlite3-dev
          xvfb xauth xdotool imagemagick fonts-dejavu-core procps python3 time gpsbabel)
# Fuzzing (clang and its libFuzzer), the checks of the Debian package and its metadata.
packages+=(clang libclang-rt-14-dev lintian dpkg-dev file appstream)
# The format check: clang-format 14 (the package brings clang-format-14, the binary the
# format scripts use, so a different clang-format first on PATH cannot change the layout).
packages+=(clang-format)
# The Windows cross-build and its tests under Wine (scripts/test-windows.sh): mingw-w64
# with posix threads, 64-bit Wine, and GoogleTest's sources for the target.
packages+=(g++-mingw-w64-x86-64-posix wine64 googletest)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
