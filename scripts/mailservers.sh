#!/usr/bin/env bash
# Local mail servers for the end-to-end tests and the demo.
#
#   scripts/mailservers.sh up          install what is missing, (re)start Postfix and Dovecot
#   scripts/mailservers.sh down        stop both servers (no-op when nothing runs)
#   scripts/mailservers.sh status      say what runs (exit 0 only when both run)
#   scripts/mailservers.sh clear       empty the test mailbox
#   scripts/mailservers.sh stop-smtp   stop only Postfix
#   scripts/mailservers.sh start-smtp  start only Postfix again
#   scripts/mailservers.sh --help      this text, with the account, ports and CA path
#
# Everything lives in one run folder, $POSTRIX_MAIL_DIR (default /tmp/postrix-mail), and every
# listener is on 127.0.0.1, each port moved by $POSTRIX_MAIL_PORT_OFFSET (default 0), so that
# instances with their own run folders and offsets run side by side:
#   10587  SMTP submission (Postfix): STARTTLS offered, AUTH LOGIN/PLAIN via Dovecot, also
#          without TLS; only authenticated clients may send, to any recipient address;
#          messages up to 50 MiB (SIZE 52428800)
#   10588  the same, but messages up to 1 MiB (SIZE 1048576)
#   10589  the same as 10587, but AUTH offers PLAIN only (EHLO says "AUTH PLAIN")
#   465    SMTP submission with TLS from the first byte (Postfix, implicit TLS), otherwise as
#          10587. Clients choose implicit TLS by this very port number, so it is never moved:
#          only the instance with offset 0 has it; the others leave it out (SMTPS_PORT empty)
#   10110  POP3 (Dovecot), plain, STLS offered
#   10995  POP3 with TLS from the first byte (Dovecot)
#   10143  IMAP (Dovecot), plain, STARTTLS offered, login allowed without TLS; IDLE offered
#   10993  IMAP with TLS from the first byte (Dovecot)
# Dovecot pushes new mail to an IDLE client within about half a second of its delivery (it
# watches the Maildir with inotify) and sends "* OK Still here" every 10 s of an IDLE. Both
# IMAP listeners offer IDLE (Dovecot 2.3 cannot set capabilities per listener); a server
# without IDLE is a scripted one (tests/e2e/hostile.py).
# Every accepted message is handed to Dovecot over LMTP and lands in the Maildir of the one
# user (login "tester", password "secret", address tester@localhost), whatever its recipient;
# a message to n recipients lands n times. Postfix delivers asynchronously: poll the Maildir
# (or POP3) for arrival (it takes some tens of milliseconds).
# A failed login is answered after about 0.5 s (Dovecot's auth process sends failures on a
# 500 ms tick even with auth_failure_delay = 0); repeated failures do not grow the delay.
# `up` keeps the mailbox and the CA of an earlier run; `clear` empties the mailbox.
#
# `up` writes $RUN_DIR/env (shell-sourceable): SMTP_HOST SMTP_PORT SMTP_SMALL_PORT
# SMTP_SMALL_LIMIT SMTP_PLAIN_PORT SMTPS_PORT (empty without the 465 listener) POP3_PORT
# POP3S_PORT IMAP_PORT IMAPS_PORT CA_FILE MAIL_USER MAIL_PASSWORD MAIL_ADDRESS MAILDIR.
# Logs: $RUN_DIR/logs/.
# Must run as root (Debian 12); packages are installed with apt-get when missing.

set -euo pipefail

RUN_DIR=${POSTRIX_MAIL_DIR:-/tmp/postrix-mail}
case $RUN_DIR in
    /*) ;;
    *) RUN_DIR=$PWD/$RUN_DIR ;;
esac
RUN_DIR=${RUN_DIR%/}

readonly HOST=127.0.0.1
PORT_OFFSET=${POSTRIX_MAIL_PORT_OFFSET:-0}
if [[ ! $PORT_OFFSET =~ ^[0-9]{1,5}$ ]] || [ "$PORT_OFFSET" -gt 50000 ]; then
    echo "mailservers: error: POSTRIX_MAIL_PORT_OFFSET must be a number from 0 to 50000, got '$PORT_OFFSET'" >&2
    exit 2
fi
readonly PORT_OFFSET
readonly SMTP_PORT=$((10587 + PORT_OFFSET))
readonly SMTP_SMALL_PORT=$((10588 + PORT_OFFSET))
readonly SMTP_SMALL_LIMIT=1048576
readonly SMTP_PLAIN_PORT=$((10589 + PORT_OFFSET))
if [ "$PORT_OFFSET" -eq 0 ]; then readonly SMTPS_PORT=465; else readonly SMTPS_PORT=; fi
readonly POP3_PORT=$((10110 + PORT_OFFSET))
readonly POP3S_PORT=$((10995 + PORT_OFFSET))
readonly IMAP_PORT=$((10143 + PORT_OFFSET))
readonly IMAPS_PORT=$((10993 + PORT_OFFSET))
readonly MAIL_USER=tester
readonly MAIL_PASSWORD=secret
readonly MAIL_ADDRESS=tester@localhost
readonly MAIL_OWNER=mail            # Debian's mail user (uid 8) owns the mailbox files
readonly READY_TIMEOUT=20           # seconds to wait for the listeners
readonly STOP_TIMEOUT=10            # seconds to wait for a server to exit

readonly PACKAGES=(postfix dovecot-core dovecot-pop3d dovecot-imapd dovecot-lmtpd openssl)

readonly PF_CONF=$RUN_DIR/postfix
readonly PF_QUEUE=$RUN_DIR/postfix-spool
readonly PF_DATA=$RUN_DIR/postfix-data
readonly PF_MASTER=/usr/lib/postfix/sbin/master   # Debian's daemon_directory
readonly PF_PIDFILE=$PF_QUEUE/pid/master.pid
readonly DC_DIR=$RUN_DIR/dovecot
readonly DC_CONF=$DC_DIR/dovecot.conf
readonly DC_BASE=$DC_DIR/run
readonly DC_PIDFILE=$DC_BASE/master.pid
readonly LOG_DIR=$RUN_DIR/logs
readonly MAIL_HOME=$RUN_DIR/mail/$MAIL_USER
readonly MAILDIR=$MAIL_HOME/Maildir
readonly CA_FILE=$RUN_DIR/ca.pem

# Every Postfix listener of this instance, 465 only where it exists.
SMTP_PORTS=("$SMTP_PORT" "$SMTP_SMALL_PORT" "$SMTP_PLAIN_PORT")
[ -n "$SMTPS_PORT" ] && SMTP_PORTS+=("$SMTPS_PORT")
readonly SMTP_PORTS
# Every Dovecot listener of this instance.
readonly DOVECOT_PORTS=("$POP3_PORT" "$POP3S_PORT" "$IMAP_PORT" "$IMAPS_PORT")

log() { printf 'mailservers: %s\n' "$*"; }
die() { printf 'mailservers: error: %s\n' "$*" >&2; exit 1; }

require_root() {
    [ "$(id -u)" -eq 0 ] || die "must run as root (Postfix and Dovecot start as root and drop privileges)"
}

# ---------------------------------------------------------------------------------------------
# Packages

package_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

install_packages() {
    local missing=() pkg
    for pkg in "${PACKAGES[@]}"; do
        package_installed "$pkg" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    command -v apt-get >/dev/null || die "missing packages (${missing[*]}) and no apt-get to install them"
    log "installing ${missing[*]}"

    # Keep the package scripts from starting the system-wide services; we run our own instances.
    local policy=/usr/sbin/policy-rc.d created_policy=
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\n# temporary: keep package installs from starting services\nexit 101\n' >"$policy"
        chmod 755 "$policy"
        created_policy=1
    fi

    local rc=0 apt_log=/tmp/postrix-mail-apt.$$.log
    {
        echo "postfix postfix/main_mailer_type select No configuration" | debconf-set-selections &&
        DEBIAN_FRONTEND=noninteractive apt-get update -q &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
            -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold "${missing[@]}"
    } >"$apt_log" 2>&1 || rc=$?

    [ -n "$created_policy" ] && rm -f "$policy"
    if [ $rc -ne 0 ]; then
        tail -n 30 "$apt_log" >&2
        die "apt-get failed (exit $rc) installing ${missing[*]}; full log: $apt_log"
    fi
    rm -f "$apt_log"
    for pkg in "${missing[@]}"; do
        package_installed "$pkg" || die "package $pkg still not installed after apt-get"
    done
}

# ---------------------------------------------------------------------------------------------
# Processes (found through our own pid files; checked against the expected program so that a
# recycled pid is never taken for ours)

pid_alive_as() { # pid program-path
    local pid=$1 exe
    [ -n "$pid" ] && running "$pid" || return 1
    exe=$(readlink "/proc/$pid/exe" 2>/dev/null) || return 1
    [ "${exe% (deleted)}" = "$2" ]
}

read_pid() { # pidfile
    if [ -r "$1" ]; then awk 'NR == 1 { print $1 }' "$1" 2>/dev/null || true; fi
}

postfix_pid() {
    local pid
    pid=$(read_pid "$PF_PIDFILE")
    pid_alive_as "$pid" "$PF_MASTER" && echo "$pid"
}

dovecot_pid() {
    local pid
    pid=$(read_pid "$DC_PIDFILE")
    pid_alive_as "$pid" /usr/sbin/dovecot && echo "$pid"
}

# Fields of /proc/PID/stat after "pid (comm) ": state ppid pgrp session ... Fails for a pid
# that is gone or a zombie: a daemonized master's zombie waits for init to reap it, which can
# take seconds.
proc_fields() { # pid -> array PROC_FIELDS
    local stat
    { read -r stat <"/proc/$1/stat"; } 2>/dev/null || return 1
    read -r -a PROC_FIELDS <<<"${stat##*) }"
    [ "${PROC_FIELDS[0]}" != Z ] && [ "${PROC_FIELDS[0]}" != X ]
}

running() { # pid
    proc_fields "$1"
}

# Live processes whose session id is the given master's pid (both masters call setsid()).
session_pids() { # sid
    local sid=$1 f pid
    for f in /proc/[0-9]*; do
        pid=${f#/proc/}
        proc_fields "$pid" && [ "${PROC_FIELDS[3]}" = "$sid" ] && echo "$pid"
    done
    return 0
}

stop_daemon() { # name pid
    local name=$1 pid=$2 i pids
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < STOP_TIMEOUT * 20; i++)); do
        running "$pid" || break
        sleep 0.05
    done
    if running "$pid"; then
        log "$name (pid $pid) did not exit within ${STOP_TIMEOUT}s, killing it"
    fi
    # Children normally exit with their master; take down any straggler of its session.
    for ((i = 0; i < 40; i++)); do
        pids=$(session_pids "$pid")
        [ -z "$pids" ] && return 0
        # shellcheck disable=SC2086 # one pid per word
        if [ $i -ge 10 ]; then kill -KILL $pids 2>/dev/null || true; fi
        sleep 0.05
    done
    die "$name processes still alive after stop: $pids"
}

# ---------------------------------------------------------------------------------------------
# Listeners

port_open() { # port
    (exec 3<>"/dev/tcp/$HOST/$1") 2>/dev/null
}

log_tail() {
    local f
    for f in "$LOG_DIR"/*.log; do
        [ -s "$f" ] || continue
        printf -- '--- last lines of %s ---\n' "$f" >&2
        tail -n 20 "$f" >&2
    done
}

wait_ports() { # port...
    local deadline=$((SECONDS + READY_TIMEOUT)) port pending
    while :; do
        pending=
        for port in "$@"; do
            port_open "$port" || pending+=" $port"
        done
        [ -z "$pending" ] && return 0
        if [ $SECONDS -ge $deadline ]; then
            log_tail
            die "port(s)$pending on $HOST not accepting connections after ${READY_TIMEOUT}s (logs in $LOG_DIR)"
        fi
        sleep 0.1
    done
}

ensure_ports_free() { # port...
    local port
    for port in "$@"; do
        if port_open "$port"; then
            die "port $port on $HOST is already in use by another process, not a server of $RUN_DIR (an instance of another run folder? 'ss -ltnp' shows it)"
        fi
    done
}

# ---------------------------------------------------------------------------------------------
# Run folder, certificates, configuration

# Dovecot's and Postfix's processes reach the run folder under their own users.
check_parents_enterable() {
    local dir=$RUN_DIR parents=() user
    while dir=$(dirname "$dir"); [ "$dir" != / ]; do
        parents=("$dir" "${parents[@]}")
    done
    for dir in "${parents[@]}"; do     # from the top down, so the first refusal is the cause
        for user in "$MAIL_OWNER" dovecot dovenull postfix; do
            if ! runuser -u "$user" -- test -x "$dir" 2>/dev/null; then
                die "folder $dir is not enterable by user $user; choose another POSTRIX_MAIL_DIR or chmod o+x $dir"
            fi
        done
    done
}

make_certificates() {
    [ -s "$CA_FILE" ] && [ -s "$RUN_DIR/server.pem" ] && [ -s "$RUN_DIR/server.key" ] &&
        openssl verify -CAfile "$CA_FILE" "$RUN_DIR/server.pem" >/dev/null 2>&1 &&
        openssl x509 -checkend 86400 -noout -in "$RUN_DIR/server.pem" >/dev/null 2>&1 &&
        return 0

    log "generating test CA and server certificate"
    local tmp=$RUN_DIR/.certs
    rm -rf "$tmp"
    mkdir -m 700 "$tmp"
    cat >"$tmp/server.ext" <<'EOF'
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid, issuer
EOF
    {
        openssl req -new -newkey rsa:2048 -nodes -keyout "$tmp/ca.key" -subj "/CN=postrix test CA" \
            -x509 -days 3650 -sha256 -config /dev/null \
            -addext "basicConstraints=critical,CA:TRUE" \
            -addext "keyUsage=critical,keyCertSign,cRLSign" \
            -addext "subjectKeyIdentifier=hash" -out "$tmp/ca.pem" &&
        openssl req -new -newkey rsa:2048 -nodes -keyout "$tmp/server.key" -subj "/CN=localhost" \
            -config /dev/null -out "$tmp/server.csr" &&
        openssl x509 -req -in "$tmp/server.csr" -CA "$tmp/ca.pem" -CAkey "$tmp/ca.key" \
            -CAcreateserial -days 825 -sha256 -extfile "$tmp/server.ext" -out "$tmp/server.pem"
    } >"$tmp/openssl.log" 2>&1 || { cat "$tmp/openssl.log" >&2; die "openssl failed to make the test certificates"; }

    install -m 644 "$tmp/ca.pem" "$CA_FILE"
    install -m 600 "$tmp/ca.key" "$RUN_DIR/ca.key"
    install -m 644 "$tmp/server.pem" "$RUN_DIR/server.pem"
    install -m 600 "$tmp/server.key" "$RUN_DIR/server.key"
    rm -rf "$tmp"
}

prepare_run_dir() {
    mkdir -p "$RUN_DIR"
    chmod 755 "$RUN_DIR"
    check_parents_enterable
    mkdir -p "$LOG_DIR" "$PF_CONF" "$PF_QUEUE" "$PF_DATA" "$DC_DIR" "$MAILDIR"/{new,cur,tmp}
    chmod 755 "$LOG_DIR" "$PF_CONF" "$PF_QUEUE" "$DC_DIR" "$RUN_DIR/mail"
    chown postfix:postfix "$PF_DATA"
    chmod 700 "$PF_DATA"
    chown -R "$MAIL_OWNER:$MAIL_OWNER" "$MAIL_HOME"
    chmod 700 "$MAIL_HOME"
    make_certificates
}

write_env() {
    cat >"$RUN_DIR/env" <<EOF
# Written by scripts/mailservers.sh up
SMTP_HOST=$HOST
SMTP_PORT=$SMTP_PORT
SMTP_SMALL_PORT=$SMTP_SMALL_PORT
SMTP_SMALL_LIMIT=$SMTP_SMALL_LIMIT
SMTP_PLAIN_PORT=$SMTP_PLAIN_PORT
SMTPS_PORT=$SMTPS_PORT
POP3_PORT=$POP3_PORT
POP3S_PORT=$POP3S_PORT
IMAP_PORT=$IMAP_PORT
IMAPS_PORT=$IMAPS_PORT
CA_FILE=$CA_FILE
MAIL_USER=$MAIL_USER
MAIL_PASSWORD=$MAIL_PASSWORD
MAIL_ADDRESS=$MAIL_ADDRESS
MAILDIR=$MAILDIR
EOF
    chmod 644 "$RUN_DIR/env"
}

write_postfix_config() {
    local lmtp=lmtp:unix:$DC_BASE/lmtp-postfix smtps_service=
    if [ -n "$SMTPS_PORT" ]; then
        smtps_service="$HOST:$SMTPS_PORT inet n - n - - smtpd
  -o syslog_name=postfix/smtps
  -o smtpd_tls_wrappermode=yes"
    fi
    cat >"$PF_CONF/main.cf" <<EOF
# Test instance for postrix end-to-end tests; written by scripts/mailservers.sh.
compatibility_level = 3.6
queue_directory = $PF_QUEUE
data_directory = $PF_DATA
mail_owner = postfix
setgid_group = postdrop
maillog_file = $LOG_DIR/postfix.log
maillog_file_prefixes = $LOG_DIR

myhostname = localhost
mydomain = localdomain
myorigin = localhost
mydestination = localhost
inet_interfaces = $HOST
inet_protocols = ipv4
mynetworks = 127.0.0.1/32
append_dot_mydomain = no
biff = no
alias_maps =
alias_database =
local_recipient_maps =
smtpd_peername_lookup = no

# Every message, whatever its recipient domain, goes to Dovecot over LMTP.
local_transport = $lmtp
virtual_transport = $lmtp
relay_transport = $lmtp
default_transport = $lmtp

# Tests stop and start Dovecot; retry deferred mail soon.
queue_run_delay = 5s
minimal_backoff_time = 5s
maximal_backoff_time = 30s
message_size_limit = 52428800

smtpd_banner = \$myhostname ESMTP postrix test server
smtpd_tls_security_level = may
smtpd_tls_cert_file = $RUN_DIR/server.pem
smtpd_tls_key_file = $RUN_DIR/server.key
smtpd_tls_loglevel = 1
smtpd_tls_auth_only = no
smtpd_sasl_auth_enable = yes
smtpd_sasl_type = dovecot
smtpd_sasl_path = $DC_BASE/auth-postfix
smtpd_sasl_security_options = noanonymous
smtpd_relay_restrictions = permit_sasl_authenticated, reject
smtpd_recipient_restrictions = permit_sasl_authenticated, reject
smtpd_error_sleep_time = 0
smtpd_soft_error_limit = 100
smtpd_hard_error_limit = 200
EOF
    # No chroot (column 5 = n): the daemons reach the run folder by absolute paths.
    cat >"$PF_CONF/master.cf" <<EOF
# service type  private unpriv  chroot  wakeup  maxproc command + args
$HOST:$SMTP_PORT inet n - n - - smtpd
  -o syslog_name=postfix/submission
$HOST:$SMTP_SMALL_PORT inet n - n - - smtpd
  -o syslog_name=postfix/submission-small
  -o message_size_limit=$SMTP_SMALL_LIMIT
$HOST:$SMTP_PLAIN_PORT inet n - n - - smtpd
  -o syslog_name=postfix/submission-plain
  -o smtpd_sasl_mechanism_filter=plain
$smtps_service
pickup    unix  n       -       n       60      1       pickup
cleanup   unix  n       -       n       -       0       cleanup
qmgr      unix  n       -       n       300     1       qmgr
tlsmgr    unix  -       -       n       1000?   1       tlsmgr
rewrite   unix  -       -       n       -       -       trivial-rewrite
bounce    unix  -       -       n       -       0       bounce
defer     unix  -       -       n       -       0       bounce
trace     unix  -       -       n       -       0       bounce
verify    unix  -       -       n       -       1       verify
flush     unix  n       -       n       1000?   0       flush
proxymap  unix  -       -       n       -       -       proxymap
proxywrite unix -       -       n       -       1       proxymap
smtp      unix  -       -       n       -       -       smtp
relay     unix  -       -       n       -       -       smtp
showq     unix  n       -       n       -       -       showq
error     unix  -       -       n       -       -       error
retry     unix  -       -       n       -       -       error
discard   unix  -       -       n       -       -       discard
lmtp      unix  -       -       n       -       -       lmtp
anvil     unix  -       -       n       -       1       anvil
scache    unix  -       -       n       -       1       scache
postlog   unix-dgram n  -       n       -       1       postlogd
EOF
    # Postfix programs pause ("let the file cool down") while main.cf is less than about two
    # seconds old; the file is complete, so date it back.
    touch -d '-1 minute' "$PF_CONF/main.cf" "$PF_CONF/master.cf"
}

write_dovecot_config() {
    local mail_uid mail_gid dh_line=
    mail_uid=$(id -u "$MAIL_OWNER")
    mail_gid=$(id -g "$MAIL_OWNER")
    [ -r /usr/share/dovecot/dh.pem ] && dh_line="ssl_dh = </usr/share/dovecot/dh.pem"

    # The one user; any LMTP recipient maps to the same mailbox (static userdb below).
    printf '%s:{PLAIN}%s::::::\n' "$MAIL_USER" "$MAIL_PASSWORD" >"$DC_DIR/users"
    chown root:dovecot "$DC_DIR/users"
    chmod 640 "$DC_DIR/users"

    cat >"$DC_CONF" <<EOF
# Test instance for postrix end-to-end tests; written by scripts/mailservers.sh.
instance_name = postrix-mail
base_dir = $DC_BASE
state_dir = $DC_DIR/state
protocols = pop3 imap lmtp
listen = $HOST
log_path = $LOG_DIR/dovecot.log
info_log_path = $LOG_DIR/dovecot.log
shutdown_clients = yes

ssl = yes
ssl_cert = <$RUN_DIR/server.pem
ssl_key = <$RUN_DIR/server.key
$dh_line
disable_plaintext_auth = no
auth_mechanisms = plain login
# Tests try wrong passwords on purpose: no 2 s failure delay (what remains is the auth
# process's 0.5 s failure tick).
auth_failure_delay = 0
auth_verbose = yes

first_valid_uid = $mail_uid
first_valid_gid = $mail_gid
mail_location = maildir:~/Maildir
pop3_uidl_format = %08Xu%08Xv
# IDLE: new mail is noticed through inotify on the Maildir at once; the interval below is only
# the fallback poll where inotify is not available. "* OK Still here" every 10 s keeps clients
# honest about untagged lines during an IDLE.
mailbox_idle_check_interval = 1 secs
imap_idle_notify_interval = 10 secs
# Process titles name the command each IMAP session runs ("dovecot/imap [tester 127.0.0.1 IDLE]"):
# tests see from them that a client has reached IDLE.
verbose_proctitle = yes
# Tests run several clients side by side (the default allows 10 per user and address).
mail_max_userip_connections = 100

passdb {
  driver = passwd-file
  args = scheme=PLAIN $DC_DIR/users
}
userdb {
  driver = static
  args = uid=$mail_uid gid=$mail_gid home=$MAIL_HOME allow_all_users=yes
}

service pop3-login {
  inet_listener pop3 {
    address = $HOST
    port = $POP3_PORT
  }
  inet_listener pop3s {
    address = $HOST
    port = $POP3S_PORT
    ssl = yes
  }
}
service imap-login {
  inet_listener imap {
    address = $HOST
    port = $IMAP_PORT
  }
  inet_listener imaps {
    address = $HOST
    port = $IMAPS_PORT
    ssl = yes
  }
}
service lmtp {
  unix_listener lmtp-postfix {
    mode = 0660
    user = postfix
    group = postfix
  }
}
service auth {
  unix_listener auth-postfix {
    mode = 0660
    user = postfix
    group = postfix
  }
}
service anvil {
  # mode 0 turns off the auth penalty (growing delays after failed logins)
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
EOF
    mkdir -p "$DC_DIR/state"
    local out
    out=$(doveconf -c "$DC_CONF" -n 2>&1 >/dev/null) || die "dovecot configuration rejected: $out"
}

# ---------------------------------------------------------------------------------------------
# Start / stop

start_dovecot() {
    dovecot -c "$DC_CONF" </dev/null >>"$LOG_DIR/dovecot.out" 2>&1 ||
        { log_tail; die "dovecot failed to start (see $LOG_DIR/dovecot.out)"; }
}

start_postfix() {
    [ -f "$PF_CONF/main.cf" ] || die "no Postfix configuration in $PF_CONF; run 'up' first"
    if [ -d "$PF_QUEUE/public" ]; then
        # Queue folders made by an earlier start: run the master directly, which skips
        # postfix-script's integrity checks (about 1.5 s; the configuration is ours anyway).
        # -w returns once the master has initialized.
        "$PF_MASTER" -c "$PF_CONF" -w </dev/null >>"$LOG_DIR/postfix.out" 2>&1 ||
            { tail -n 20 "$LOG_DIR/postfix.out" >&2; log_tail; die "postfix master failed to start"; }
    else
        # First start: postfix-script creates the queue folders with their owners and modes.
        postfix -c "$PF_CONF" start </dev/null >>"$LOG_DIR/postfix.out" 2>&1 ||
            { tail -n 20 "$LOG_DIR/postfix.out" >&2; log_tail; die "postfix failed to start"; }
    fi
}

stop_postfix() {
    local pid
    if pid=$(postfix_pid); then
        stop_daemon postfix "$pid"
        rm -f "$PF_PIDFILE"
    fi
}

stop_dovecot() {
    local pid
    if pid=$(dovecot_pid); then
        stop_daemon dovecot "$pid"
    fi
}

# Both at once: each takes about a second to wind down.
stop_servers() {
    local pf dc rc=0
    stop_postfix & pf=$!
    stop_dovecot & dc=$!
    wait $pf || rc=1
    wait $dc || rc=1
    [ $rc -eq 0 ] || die "could not stop the mail servers"
}

# ---------------------------------------------------------------------------------------------
# Commands

# A failed `up` leaves nothing running behind it.
stop_after_failed_up() {
    local rc=$?
    trap - EXIT
    if [ $rc -ne 0 ]; then
        log "up failed; stopping whatever it started"
        stop_postfix || true
        stop_dovecot || true
    fi
    exit $rc
}

cmd_up() {
    require_root
    local t0=$EPOCHREALTIME smtps_text="no SMTPS (offset $PORT_OFFSET)"
    [ -n "$SMTPS_PORT" ] && smtps_text="SMTPS $HOST:$SMTPS_PORT"
    install_packages
    if postfix_pid >/dev/null || dovecot_pid >/dev/null; then
        log "already running; restarting"
        stop_servers
    fi
    ensure_ports_free "${SMTP_PORTS[@]}" "${DOVECOT_PORTS[@]}"
    trap stop_after_failed_up EXIT
    prepare_run_dir
    write_postfix_config
    write_dovecot_config
    start_dovecot
    start_postfix
    wait_ports "${SMTP_PORTS[@]}" "${DOVECOT_PORTS[@]}"
    # Postfix hands mail to these sockets; make sure Dovecot has made them.
    if [ ! -S "$DC_BASE/lmtp-postfix" ] || [ ! -S "$DC_BASE/auth-postfix" ]; then
        log_tail
        die "dovecot did not create its LMTP/auth sockets in $DC_BASE"
    fi
    write_env
    trap - EXIT
    log "up in $(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }') s: SMTP $HOST:$SMTP_PORT (STARTTLS, AUTH; $HOST:$SMTP_SMALL_PORT takes at most $SMTP_SMALL_LIMIT bytes, $HOST:$SMTP_PLAIN_PORT AUTH PLAIN only), $smtps_text, POP3 $HOST:$POP3_PORT, POP3S $HOST:$POP3S_PORT, IMAP $HOST:$IMAP_PORT, IMAPS $HOST:$IMAPS_PORT"
    log "user $MAIL_USER / $MAIL_PASSWORD <$MAIL_ADDRESS>, CA $CA_FILE, env $RUN_DIR/env"
}

cmd_down() {
    require_root
    local was=
    postfix_pid >/dev/null && was+=" postfix"
    dovecot_pid >/dev/null && was+=" dovecot"
    stop_servers
    if [ -n "$was" ]; then log "stopped$was"; else log "nothing was running"; fi
}

cmd_status() {
    local pid rc=0
    if pid=$(postfix_pid); then
        log "postfix running (pid $pid), SMTP $HOST:$SMTP_PORT $(port_open $SMTP_PORT && echo open || echo closed)"
    else
        log "postfix stopped"; rc=1
    fi
    if pid=$(dovecot_pid); then
        log "dovecot running (pid $pid), POP3 $HOST:$POP3_PORT $(port_open $POP3_PORT && echo open || echo closed), POP3S $HOST:$POP3S_PORT $(port_open $POP3S_PORT && echo open || echo closed), IMAP $HOST:$IMAP_PORT $(port_open $IMAP_PORT && echo open || echo closed), IMAPS $HOST:$IMAPS_PORT $(port_open $IMAPS_PORT && echo open || echo closed)"
    else
        log "dovecot stopped"; rc=1
    fi
    if [ -d "$MAILDIR" ]; then
        log "mailbox $MAILDIR: $(find "$MAILDIR/new" "$MAILDIR/cur" -type f 2>/dev/null | wc -l) message(s)"
    fi
    return $rc
}

# Empties the mailbox through Dovecot, so that its index never lists a message whose file is
# gone (a file removed behind its back in the same second as a delivery stays listed, and
# fetching it fails with "-ERR Message N expunged."). Without a running Dovecot the files and
# the index go; the UID validity file stays, so UIDLs are never reused.
cmd_clear() {
    [ -d "$MAILDIR" ] || die "no mailbox at $MAILDIR; run 'up' first"
    local out
    if dovecot_pid >/dev/null; then
        out=$(doveadm -c "$DC_CONF" expunge -u "$MAIL_USER" mailbox INBOX all 2>&1) ||
            die "doveadm expunge failed: $out"
    fi
    if [ -n "$(find "$MAILDIR/new" "$MAILDIR/cur" -mindepth 1 -maxdepth 1 -type f -print -quit)" ]; then
        find "$MAILDIR/new" "$MAILDIR/cur" "$MAILDIR/tmp" -mindepth 1 -maxdepth 1 -type f -delete
        rm -f "$MAILDIR"/dovecot.index* "$MAILDIR/dovecot-uidlist" "$MAILDIR/dovecot-keywords"
    fi
    log "mailbox emptied"
}

cmd_stop_smtp() {
    require_root
    if postfix_pid >/dev/null; then stop_postfix; log "postfix stopped"; else log "postfix was not running"; fi
}

cmd_start_smtp() {
    require_root
    if postfix_pid >/dev/null; then log "postfix already running"; return 0; fi
    ensure_ports_free "${SMTP_PORTS[@]}"
    start_postfix
    wait_ports "${SMTP_PORTS[@]}"
    log "postfix started, SMTP $HOST:$SMTP_PORT"
}

cmd_help() {
    # The header comment above, without its comment marks.
    sed -n '2,/^$/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//'
    cat <<EOF

With the current settings:
  run folder   $RUN_DIR
  account      login $MAIL_USER, password $MAIL_PASSWORD, address $MAIL_ADDRESS
  SMTP         $HOST:$SMTP_PORT (STARTTLS, AUTH LOGIN/PLAIN); $HOST:$SMTP_SMALL_PORT (at most $SMTP_SMALL_LIMIT bytes);
               $HOST:$SMTP_PLAIN_PORT (AUTH PLAIN only)
  SMTPS        $(if [ -n "$SMTPS_PORT" ]; then echo "$HOST:$SMTPS_PORT (TLS from the first byte)"; else echo "none: only offset 0 has $HOST:465"; fi)
  POP3         $HOST:$POP3_PORT (plain, STLS); POP3S $HOST:$POP3S_PORT (TLS from the first byte)
  IMAP         $HOST:$IMAP_PORT (plain, STARTTLS, IDLE); IMAPS $HOST:$IMAPS_PORT (TLS from the first byte)
  CA           $CA_FILE (made by 'up'; trust it to verify the servers)
  mailbox      $MAILDIR
EOF
}

case ${1:-} in
    -h|--help|help) cmd_help ;;
    up) cmd_up ;;
    down) cmd_down ;;
    status) cmd_status ;;
    clear) cmd_clear ;;
    stop-smtp) cmd_stop_smtp ;;
    start-smtp) cmd_start_smtp ;;
    *) echo "usage: $0 up|down|status|clear|stop-smtp|start-smtp|--help" >&2; exit 2 ;;
esac
