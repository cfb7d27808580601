#!/usr/bin/env bash
# postrix beside the tools people would use instead (OpenSSL's Base64, curl for
# POP3 and SMTP), printed as one table of ratios; see bench/compare.py.
#
#   bash bench/compare.sh [--runs N] [--quick] [--plain] [--only base64,check,second,listing,send]
#
# Needs a Release build in build/ (bash scripts/build.sh -DCMAKE_BUILD_TYPE=Release), root
# (for the local mail servers), curl and GNU time. Starts the local mail servers, empties their
# mailbox when done and stops them on any exit. Gates nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in build/joxhost build/postrix.so build/bench/mime_bench /usr/bin/time; do
  [ -x "$tool" ] || [ -f "$tool" ] || { echo "compare: $tool is missing" >&2; exit 1; }
done
command -v curl >/dev/null || { echo "compare: curl is missing" >&2; exit 1; }
trap 'bash scripts/mailservers.sh down >/dev/null' EXIT
bash scripts/mailservers.sh up >/dev/null
python3 bench/compare.py "$@"
