#!/usr/bin/env bash
# Builds both programs and writes the packages a user installs into build/packages/:
#   morvane_<version>_amd64.deb      CPack DEB of the install layout, checked with lintian
#   Morvane-<version>-win64.zip      CPack ZIP of the Windows cross-build (portable)
# Usage: scripts/package.sh                   install what is missing, build, package
#        scripts/package.sh --no-build DIR    package the already built tree DIR (the package tests)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
if [ "${1:-}" = "--no-build" ]; then
  build=$(cd "$2" && pwd)
else
  "$root/scripts/install-deps.sh"
  "$root/scripts/build.sh"
fi
out=$build/packages
work=$build/cpack
rm -rf "$out" "$work"
mkdir -p "$out" "$work"

# cpack_into_out <config>: one package, its log shown only when it fails.
cpack_into_out() {
  cpack --config "$1" -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
  mv "$work"/*.deb "$work"/*.zip "$out/" 2>/dev/null || true
}
cpack_into_out "$build/CPackConfig.cmake"
if [ -f "$build/windows-build/CPackConfig.cmake" ]; then
  cpack_into_out "$build/windows-build/CPackConfig.cmake"
else
  echo "no Windows cross-build in $build (MORVANE_WINDOWS=OFF): no zip"
fi
rm -rf "$work"

deb=$(ls "$out"/*.deb)
if command -v lintian >/dev/null; then
  # Errors fail the packaging; the README says why the warnings left are there.
  report=$(lintian --tag-display-limit 0 "$deb" 2>/dev/null || true)
  [ -z "$report" ] || printf '%s\n' "$report"
  if printf '%s\n' "$report" | grep -q '^E:'; then echo "lintian found errors in $deb"; exit 1; fi
else
  echo "lintian is not installed: $deb is not checked"
fi
ls -l "$out"
