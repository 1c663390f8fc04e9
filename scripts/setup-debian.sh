#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds, tests and is looked at with.
# Skips the install when every package is already there. Extra package names given as
# arguments are installed too (scripts/fuzz.sh asks for clang).
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-svg-dev fontconfig
          fonts-liberation2 xvfb xauth xdotool imagemagick poppler-utils
          desktop-file-utils appstream lintian ccache "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
