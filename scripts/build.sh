#!/usr/bin/env bash
# Configures and builds both programs into build/ (the Windows one through
# a nested MinGW-w64 cross-build in build/windows-build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$root/build" --parallel "$(nproc)"
