#!/usr/bin/env bash
# Installs what is missing, builds both programs and runs every test with CTest.
# File-system tests need root and loop devices; without them they skip and say why.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cd "$root/build"
ctest --output-on-failure --timeout 1800 "$@"
