#!/usr/bin/env bash
# Cross-compiles the Windows build into build-win/ (or $BUILD_DIR) with
# mingw-w64, leaving build-win/postrix.dll and the test programs, which
# `ctest --test-dir build-win` runs under wine. Further arguments go to
# CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${BUILD_DIR:-build-win}"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "${launcher[@]}" "$@" >/dev/null
cmake --build "$build_dir" -j"${JOBS:-2}"
