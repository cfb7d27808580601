#!/usr/bin/env bash
# End-to-end tests: joxhost with the real plug-in against Postfix and Dovecot
# on 127.0.0.1. Starts the servers, runs the tests, stops the servers.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build_dir="${BUILD_DIR:-build}"
case "$build_dir" in /*) ;; *) build_dir="$root/$build_dir" ;; esac

bash "$root/scripts/mailservers.sh" up >/dev/null
trap 'bash "$root/scripts/mailservers.sh" down >/dev/null 2>&1 || true' EXIT

JOXHOST="$build_dir/joxhost" MAILSERVERS="$root/scripts/mailservers.sh" \
  python3 "$here/run.py" "$@"
