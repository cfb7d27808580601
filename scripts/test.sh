#!/usr/bin/env bash
# Runs every test: builds, then the unit tests through CTest, then the
# end-to-end tests against local Postfix and Dovecot when they exist.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
build_dir="${BUILD_DIR:-build}"

start=$(date +%s)
(cd "$build_dir" && ctest --output-on-failure -j"${JOBS:-2}")
echo "unit tests: $(( $(date +%s) - start )) s"

if [ -x tests/e2e/run.sh ] && [ "${POSTRIX_SKIP_E2E:-0}" != 1 ]; then
  start=$(date +%s)
  BUILD_DIR="$build_dir" tests/e2e/run.sh
  echo "end-to-end tests: $(( $(date +%s) - start )) s"
fi
