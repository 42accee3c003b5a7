#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Morvane need.
# Idempotent: quiet and quick when everything is already there.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libmount-dev libxcb1-dev
  g++-mingw-w64-x86-64 mingw-w64-tools googletest
  # run
  xterm mc wine wine64
  # test: displays, input, file systems, printing
  xvfb xauth xdotool x11-utils imagemagick
  e2fsprogs xfsprogs btrfs-progs util-linux
  cups cups-client cups-bsd cups-ipp-utils printer-driver-cups-pdf poppler-utils
  tesseract-ocr tesseract-ocr-rus python3 zstd
  # packages: icons, checks, and installing them as a user would
  fonts-dejavu-core lintian unzip pkexec polkitd dbus-daemon dbus-bin
  # the units the package carries, and the fleet play that runs it
  systemd ansible-core
  # a Debian 12 guest under qemu for the file systems and device-mapper targets the host kernel lacks
  qemu-system-x86 qemu-utils linux-image-amd64 busybox-static cpio xz-utils
  dosfstools exfatprogs ntfs-3g f2fs-tools lvm2 thin-provisioning-tools cryptsetup
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
