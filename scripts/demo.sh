#!/usr/bin/env bash
# The main job end to end: builds postrix and joxhost, starts local Postfix
# and Dovecot, sends a mail through the plug-in, lets the next mail check
# announce it as new mail, and stops the servers again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh >/dev/null
build_dir="${BUILD_DIR:-build}"
joxhost="$build_dir/joxhost"

bash scripts/mailservers.sh up
trap 'bash scripts/mailservers.sh down >/dev/null 2>&1 || true; rm -rf "$profile"' EXIT
# shellcheck disable=SC1091
. "${POSTRIX_MAIL_DIR:-/tmp/postrix-mail}/env"
bash scripts/mailservers.sh clear >/dev/null
profile="$(mktemp -d /tmp/postrix-demo-XXXXXX)"
# The reachability probe stays on this machine.
export POSTRIX_PROBE_HOST=127.0.0.1
host=("$joxhost" --profile "$profile" --ca-file "$CA_FILE")

echo
echo "== configuring the main account for $MAIL_ADDRESS"
"${host[@]}" config "MAIL/mail=$MAIL_ADDRESS" "MAIL/login=$MAIL_USER" "MAIL/password=$MAIL_PASSWORD" \
  "MAIL/smtpServer=localhost:$SMTP_PORT" "MAIL/pop3Server=localhost:$POP3S_PORT" \
  "MAIL/mailboxWww=https://localhost/webmail" >/dev/null

echo "== joxhost run: a first check remembers the mailbox, a chat message goes out, the next check announces it"
{
  echo "check 0"
  sleep 1
  echo "chat 0 $MAIL_ADDRESS Dzień dobry! To jest wiadomość wysłana przez postrix."
  for _ in $(seq 1 50); do
    [ -n "$(ls -A "$MAILDIR/new" 2>/dev/null)" ] && break
    sleep 0.1
  done
  sleep 0.5
  echo "check 0"
  sleep 2
  echo "quit"
} | "${host[@]}" run

echo
echo "== the message in the mailbox"
sed -n '1,12p' "$(ls -d "$MAILDIR"/new/* "$MAILDIR"/cur/* 2>/dev/null | head -n 1)"
echo
echo "== archive.db"
python3 - "$profile/archive.db" <<'PY'
import sqlite3, sys
with sqlite3.connect(sys.argv[1]) as db:
    for row in db.execute("SELECT contact, subject, body FROM archive"):
        print("archive:", row)
    for row in db.execute("SELECT sender, subject, account_address FROM news"):
        print("news:   ", row)
PY
