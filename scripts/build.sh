#!/usr/bin/env bash
# Configures and builds everything into build/ (or $BUILD_DIR); further
# arguments go to CMake's configure step (e.g. -DPOSTRIX_SANITIZE=ON).
# What CMake prints while it works (the configure messages, then one line per
# file with the build's percentage) goes to standard error, so a caller that
# discards standard output still sees how far a long build has come; the
# last line says how long it took.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${BUILD_DIR:-build}"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
start=$(date +%s)
echo "== configuring $build_dir" >&2
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "${launcher[@]}" "$@" >&2
echo "== building $build_dir with ${JOBS:-2} jobs" >&2
cmake --build "$build_dir" -j"${JOBS:-2}" >&2
echo "== built $build_dir in $(( $(date +%s) - start )) s" >&2
