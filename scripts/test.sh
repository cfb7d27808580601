#!/usr/bin/env bash
# Runs every test, twice over:
#   1. the shipping build (build/, g++): unit tests through CTest, then the
#      end-to-end tests against local Postfix and Dovecot;
#   2. the sanitizer build (build-asan/, clang with AddressSanitizer, leak
#      detection and UndefinedBehaviorSanitizer): the same unit and end-to-end
#      tests, plus a replay of each fuzz target's committed corpus;
#   3. the Windows build (build-win/, mingw-w64): postrix.dll and its tests
#      under wine (scripts/test-windows.sh).
# POSTRIX_SKIP_E2E=1 leaves out the end-to-end tests, POSTRIX_SKIP_SANITIZE=1
# the second build, POSTRIX_SKIP_WINDOWS=1 the third (for quick local runs;
# CI runs all three).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

run_suite() {  # build_dir label
  local build_dir=$1 label=$2 start
  start=$(date +%s)
  (cd "$build_dir" && ctest --output-on-failure -j"${JOBS:-2}")
  echo "$label unit tests: $(( $(date +%s) - start )) s"
  if [ "${POSTRIX_SKIP_E2E:-0}" != 1 ]; then
    start=$(date +%s)
    BUILD_DIR="$build_dir" tests/e2e/run.sh
    echo "$label end-to-end tests: $(( $(date +%s) - start )) s"
  fi
}

start=$(date +%s)
bash scripts/build.sh
echo "build: $(( $(date +%s) - start )) s"
run_suite "${BUILD_DIR:-build}" shipping

if [ "${POSTRIX_SKIP_SANITIZE:-0}" != 1 ]; then
  start=$(date +%s)
  CC=clang CXX=clang++ BUILD_DIR=build-asan \
    bash scripts/build.sh -DPOSTRIX_SANITIZE=ON -DPOSTRIX_FUZZ=ON -DPOSTRIX_BENCH=OFF
  echo "sanitizer build: $(( $(date +%s) - start )) s"
  # Any report fails the test that caused it; leaks are reported at exit.
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export POSTRIX_SANITIZED=1
  run_suite build-asan sanitizer
fi

if [ "${POSTRIX_SKIP_WINDOWS:-0}" != 1 ]; then
  unset ASAN_OPTIONS UBSAN_OPTIONS POSTRIX_SANITIZED
  bash scripts/test-windows.sh
fi
