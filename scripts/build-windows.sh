#!/usr/bin/env bash
# Cross-compiles the Windows build into build-win/ (or $BUILD_DIR) with
# mingw-w64, leaving build-win/postrix.dll and the test programs, which
# `ctest --test-dir build-win` runs under wine (scripts/test-windows.sh does
# it all). Further arguments go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build-win}" \
  exec bash scripts/build.sh -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" "$@"
