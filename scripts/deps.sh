#!/usr/bin/env bash
# Installs the Debian packages Hollowmere needs to build, test and run.
# Idempotent: only missing packages are installed; uses sudo when not root.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config clang libclang-rt-14-dev
  # Qt 6 and coroutines
  qt6-base-dev qt6-svg-dev qt6-l10n-tools qt6-tools-dev-tools qcoro-qt6-dev
  # platform libraries
  libplist-dev libsystemd-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth trash-cli
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)

echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
