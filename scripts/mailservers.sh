#!/usr/bin/env bash
# Private Dovecot (POP3) and Postfix (SMTP that stores what it accepts) instances on 127.0.0.1
# for the end-to-end tests, the demo and the benchmarks. Every file of an instance lives under
# the folder named on the command line; nothing system-wide is configured, started or changed.
#
#   mailservers.sh start DIR                           both servers, prints their settings
#   mailservers.sh stop DIR                            both servers, waits until they are gone
#   mailservers.sh dovecot-start DIR [PORT]            prints pop3_port=N and pop3_homes=PATH
#   mailservers.sh dovecot-stop DIR
#   mailservers.sh dovecot-user DIR NAME PASSWORD      adds a mailbox, prints maildir=PATH
#   mailservers.sh dovecot-deliver DIR NAME [FILE...]  files (standard input when none) into it
#   mailservers.sh postfix-start DIR [PORT]            prints smtp_port, smtp_store, domains
#   mailservers.sh postfix-stop DIR
#
# Without PORT a free port is chosen. Settings are printed as name=value lines, one a line.
# Mail for any address of test.domain is stored in the Maildir smtp_store, each file starting
# with the trace lines Return-Path, X-Original-To, Delivered-To (the recipient) and Received;
# any other domain is refused at RCPT with 554. Must run as root (the servers drop privileges
# to their own users).

set -euo pipefail
export PATH=/usr/sbin:/usr/bin:/sbin:/bin:$PATH

# A server started here must not keep a descriptor of the caller open (a test's socket or pipe):
# close all but the standard three and 255, where bash holds this script.
for fd in "/proc/$$/fd"/*; do
  fd=${fd##*/}
  case $fd in
    0 | 1 | 2 | 255) ;;
    *) eval "exec $fd>&-" ;;
  esac
done

readonly kMailUid=10000           # owns every mailbox; needs no passwd entry
readonly kStoredDomain=test.domain
readonly kRefusedDomain=refused.example
readonly kPollSeconds=0.02        # between two looks at something we wait for
readonly kWaitNanos=30000000000   # the bound on every wait (30 s)
readonly kMessageSizeLimit=67108864

die() {
  echo "mailservers.sh: $*" >&2
  exit 1
}

now_nanos() { date +%s%N; }

# True when something accepts a connection on 127.0.0.1:$1.
port_answers() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# A port below the ephemeral range that nothing answers on. A race with another program is
# still possible; the start functions retry when the bind fails.
pick_port() {
  local port
  for _ in $(seq 200); do
    port=$((20000 + (RANDOM * 32768 + RANDOM) % 12000))
    port_answers "$port" || {
      echo "$port"
      return 0
    }
  done
  die "no free port found on 127.0.0.1"
}

# The first field of a pid file, when the file exists.
read_pid() {
  local pid
  [ -f "$1" ] && read -r pid _ <"$1" 2>/dev/null && [ -n "$pid" ] && echo "$pid"
}

# True while process $1 runs and its command line contains $2 (guards against a reused PID).
process_matches() {
  local cmdline
  cmdline=$(tr '\0' ' ' <"/proc/$1/cmdline" 2>/dev/null) || return 1
  [[ "$cmdline" == *"$2"* ]]
}

# Waits until the command text $1 succeeds, polling; fails once the bound has passed.
wait_until() {
  local deadline=$(($(now_nanos) + kWaitNanos))
  until eval "$1"; do
    [ "$(now_nanos)" -lt "$deadline" ] || return 1
    sleep "$kPollSeconds"
  done
}

# True while a process of group $1 runs. Zombies count as gone: when the caller has no init that
# reaps orphans (a bare container), the servers' exited processes stay zombies for good.
group_alive() {
  local group=$1 line fields
  for stat in /proc/[0-9]*/stat; do
    read -r line 2>/dev/null <"$stat" || continue
    # After the command name (in parentheses, may hold blanks): state, parent, process group.
    read -r -a fields <<<"${line##*) }"
    [ "${fields[2]}" = "$group" ] && [ "${fields[0]}" != Z ] && return 0
  done
  return 1
}

# True while process $1 runs (a zombie does not).
process_alive() {
  local line fields
  read -r line 2>/dev/null <"/proc/$1/stat" || return 1
  read -r -a fields <<<"${line##*) }"
  [ "${fields[0]}" != Z ]
}

# Sends SIGTERM to the master process $1 and waits until it and every process of its group are
# gone; $2 names the server in messages.
stop_master() {
  local pid=$1 pgid line fields
  read -r line 2>/dev/null <"/proc/$pid/stat" || return 0
  read -r -a fields <<<"${line##*) }"
  pgid=${fields[2]}
  kill -TERM "$pid" 2>/dev/null || true
  # Both servers make their master a process group leader; only then is the whole group theirs
  # to wait for (and, if need be, to kill): never the caller's group.
  if [ "$pgid" = "$pid" ]; then
    wait_until "! group_alive $pgid" && return 0
    echo "mailservers.sh: $2 did not stop within 30 s; killing it" >&2
    kill -KILL -- "-$pgid" 2>/dev/null || true
    wait_until "! group_alive $pgid" || die "$2 (process group $pgid) survived SIGKILL"
  else
    wait_until "! process_alive $pid" && return 0
    echo "mailservers.sh: $2 did not stop within 30 s; killing it" >&2
    kill -KILL "$pid" 2>/dev/null || true
    wait_until "! process_alive $pid" || die "$2 (process $pid) survived SIGKILL"
  fi
}

# Waits until the daemon whose pid file is $1 runs and accepts connections on port $2; $3 names
# the server, $4 is its log. Fails (after saying why) when it exits first or the bound passes.
wait_for_server() {
  local deadline=$(($(now_nanos) + kWaitNanos)) pid=""
  # The daemon writes its pid file after the start command has returned.
  until pid=$(read_pid "$1"); do
    if [ "$(now_nanos)" -ge "$deadline" ]; then
      echo "mailservers.sh: $3 wrote no $1 within 30 s" >&2
      return 1
    fi
    sleep "$kPollSeconds"
  done
  until port_answers "$2"; do
    if ! process_alive "$pid"; then
      tail -n 20 "$4" >&2 2>/dev/null || true
      echo "mailservers.sh: $3 exited before accepting connections on 127.0.0.1:$2" >&2
      return 1
    fi
    if [ "$(now_nanos)" -ge "$deadline" ]; then
      tail -n 20 "$4" >&2 2>/dev/null || true
      echo "mailservers.sh: $3 did not accept connections on 127.0.0.1:$2 within 30 s" >&2
      return 1
    fi
    sleep "$kPollSeconds"
  done
}

need_root() { [ "$(id -u)" = 0 ] || die "must run as root (the servers switch to their own users)"; }

need_command() {
  command -v "$1" >/dev/null 2>&1 ||
    die "$1 not found: install the Debian packages $2 (make deps does)"
}

need_user() {
  getent passwd "$1" >/dev/null || die "system user $1 missing: reinstall the package $2"
}

# The instance folder must be traversable by the servers' unprivileged users, and so must every
# folder above it (a TMPDIR under /root is not).
prepare_top() {
  local dir
  mkdir -p "$1"
  chmod 0711 "$1"
  dir=$(dirname "$1")
  while [ "$dir" != / ]; do
    [ "$(($(stat -c '0%a' "$dir") & 1))" = 1 ] ||
      die "$dir is closed to other users, so the servers cannot reach $1; use a folder under /tmp"
    dir=$(dirname "$dir")
  done
}

check_name() {
  [[ "$1" =~ ^[A-Za-z0-9_][A-Za-z0-9._-]*$ ]] || die "bad mailbox name '$1' (letters, digits, . _ -)"
}

# --- Dovecot ------------------------------------------------------------------------------------

dovecot_config() { # $1 dovecot folder, $2 port
  cat <<EOF
# Private POP3 instance; every path is inside $1.
instance_name = mailferry-$2
base_dir = $1/run
state_dir = $1/state
log_path = $1/dovecot.log
info_log_path = $1/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
# A wrong password is answered at once, so tests of refused logins stay fast.
auth_failure_delay = 0
mail_location = maildir:~/Maildir
first_valid_uid = $kMailUid
first_valid_gid = $kMailUid
mail_max_userip_connections = 1000
pop3_uidl_format = %08Xu%08Xv
# No statistics: a login process would otherwise wait 5 s for the stats service at shutdown.
stats_writer_socket_path =
# One passwd file per user: Dovecot looks at a changed file at most once a second, so a user
# added to a shared file right after a login could not log in yet.
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $1/users/%u
}
userdb {
  driver = passwd-file
  args = username_format=%u $1/users/%u
}
# No growing delay for logins from an address after failed ones: tests fail logins on purpose.
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = $2
  }
  inet_listener pop3s {
    port = 0
  }
}
EOF
}

dovecot_start() { # $1 top folder, $2 port or empty
  need_root
  need_command dovecot "dovecot-core and dovecot-pop3d"
  need_command doveconf dovecot-core
  [ -x /usr/lib/dovecot/pop3 ] || die "the POP3 server is missing: install dovecot-pop3d (make deps does)"
  need_user dovecot dovecot-core
  need_user dovenull dovecot-core
  local top=$1 d=$1/dovecot port=$2 attempt
  prepare_top "$top"
  [ -z "$(dovecot_pid "$top")" ] || die "Dovecot already runs in $d"
  mkdir -p "$d/run" "$d/state" "$d/homes"
  chmod 0755 "$d" "$d/homes"
  mkdir -p "$d/users"
  chgrp dovecot "$d/users"
  chmod 0750 "$d/users"
  for attempt in 1 2 3 4 5; do
    [ -n "$port" ] || port=$(pick_port)
    dovecot_config "$d" "$port" >"$d/dovecot.conf"
    doveconf -c "$d/dovecot.conf" -n >/dev/null 2>"$d/start.log" || {
      cat "$d/start.log" >&2
      die "Dovecot refused its configuration"
    }
    # Standard input and output on /dev/null: the daemon must not hold the caller's pipes.
    if dovecot -c "$d/dovecot.conf" </dev/null >"$d/start.log" 2>&1; then
      started+=(dovecot_stop)
      wait_for_server "$d/run/master.pid" "$port" Dovecot "$d/dovecot.log" || exit 1
      echo "$port" >"$d/port"
      echo "pop3_port=$port"
      echo "pop3_homes=$d/homes"
      return 0
    fi
    if [ -z "$2" ] && grep -q 'Address already in use' "$d/start.log"; then
      port=""
      continue
    fi
    cat "$d/start.log" >&2
    die "Dovecot did not start (attempt $attempt)"
  done
  die "Dovecot found no free port after 5 attempts"
}

# The master of the instance in $1 when it runs (a stale pid file names nothing).
dovecot_pid() {
  local pid
  pid=$(read_pid "$1/dovecot/run/master.pid") && process_matches "$pid" "$1/dovecot/dovecot.conf" &&
    echo "$pid"
  return 0
}

dovecot_stop() {
  local pid
  pid=$(dovecot_pid "$1")
  [ -z "$pid" ] || stop_master "$pid" Dovecot
  rm -f "$1/dovecot/run/master.pid"
}

dovecot_user() { # $1 top, $2 name, $3 password
  local d=$1/dovecot name=$2 password=$3
  [ -d "$d/users" ] || die "no Dovecot instance in $1"
  check_name "$name"
  [[ "$password" != *:* && "$password" != *$'\n'* ]] || die "a password may not hold ':' or a line break"
  [ ! -e "$d/users/$name" ] || die "mailbox $name exists already"
  local home=$d/homes/$name
  mkdir -p "$home/Maildir/new" "$home/Maildir/cur" "$home/Maildir/tmp"
  chown -R "$kMailUid:$kMailUid" "$home"
  chmod -R go-rwx "$home"
  # Written aside and renamed, so Dovecot never reads a half-written file.
  echo "$name:{PLAIN}$password:$kMailUid:$kMailUid::$home::" >"$d/users/.$name"
  chgrp dovecot "$d/users/.$name"
  chmod 0640 "$d/users/.$name"
  mv "$d/users/.$name" "$d/users/$name"
  echo "maildir=$home/Maildir"
}

dovecot_deliver() { # $1 top, $2 name, files...
  local maildir=$1/dovecot/homes/$2/Maildir count=0 now name
  check_name "$2"
  [ -d "$maildir/new" ] || die "no mailbox $2 in $1"
  shift 2
  [ $# -gt 0 ] || set -- /dev/stdin
  for file in "$@"; do
    # Maildir names sort by delivery time, so the POP3 message numbers follow delivery order.
    now=$(now_nanos)
    name=${now:0:-9}.M${now: -9:6}P$$Q$(printf %06d "$count").mailferry
    cat "$file" >"$maildir/tmp/$name"
    chown "$kMailUid:$kMailUid" "$maildir/tmp/$name"
    chmod 0600 "$maildir/tmp/$name"
    mv "$maildir/tmp/$name" "$maildir/new/$name"
    count=$((count + 1))
  done
}

# --- Postfix ------------------------------------------------------------------------------------

postfix_main_cf() { # $1 postfix folder, $2 port
  cat <<EOF
# Private SMTP instance; every path is inside $1.
compatibility_level = 3.6
queue_directory = $1/queue
data_directory = $1/data
mail_owner = postfix
setgid_group = postdrop
syslog_name = postfix-mailferry-$2
maillog_file = $1/maillog
maillog_file_prefixes = $1
myhostname = smtp.mailferry.test
mydomain = mailferry.test
myorigin = \$myhostname
mydestination =
local_recipient_maps =
alias_maps =
alias_database =
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
mynetworks = 127.0.0.0/8
smtpd_banner = \$myhostname ESMTP
smtpd_peername_lookup = no
# Stored: every mailbox of $kStoredDomain. Refused at RCPT (554): every other domain.
virtual_mailbox_domains = $kStoredDomain
virtual_mailbox_base = $1/mail
virtual_mailbox_maps = regexp:$1/conf/mailboxes
virtual_uid_maps = static:$kMailUid
virtual_gid_maps = static:$kMailUid
virtual_mailbox_limit = 0
smtpd_relay_restrictions = reject_unauth_destination
smtpd_recipient_restrictions =
default_transport = error:mail for other domains is not accepted here
relay_transport = error:mail for other domains is not accepted here
# Store the bytes as the client sent them: no header rewriting, no added headers, no MIME
# conversion, no split of long lines.
local_header_rewrite_clients =
always_add_missing_headers = no
disable_mime_output_conversion = yes
line_length_limit = 1048576
message_size_limit = $kMessageSizeLimit
# A client that sends a bare line feed is refused, so such a fault cannot pass unnoticed.
smtpd_forbid_bare_newline = reject
smtpd_forbid_bare_newline_exclusions =
# Never throttle or slow down a fast client or one that makes errors on purpose.
in_flow_delay = 0s
smtpd_client_connection_rate_limit = 0
smtpd_error_sleep_time = 0s
smtpd_soft_error_limit = 1000
smtpd_hard_error_limit = 1000
biff = no
append_dot_mydomain = no
EOF
}

postfix_master_cf() { # $1 port
  cat <<EOF
# service type private unpriv chroot wakeup maxproc command
127.0.0.1:$1 inet n - n - - smtpd
cleanup   unix  n       -       n       -       0       cleanup
qmgr      unix  n       -       n       300     1       qmgr
rewrite   unix  -       -       n       -       -       trivial-rewrite
bounce    unix  -       -       n       -       0       bounce
defer     unix  -       -       n       -       0       bounce
trace     unix  -       -       n       -       0       bounce
verify    unix  -       -       n       -       1       verify
flush     unix  n       -       n       1000?   0       flush
proxymap  unix  -       -       n       -       -       proxymap
proxywrite unix -       -       n       -       1       proxymap
error     unix  -       -       n       -       -       error
retry     unix  -       -       n       -       -       error
discard   unix  -       -       n       -       -       discard
virtual   unix  -       n       n       -       -       virtual
anvil     unix  -       -       n       -       1       anvil
scache    unix  -       -       n       -       1       scache
postlog   unix-dgram n  -       n       -       1       postlogd
EOF
}

postfix_start() { # $1 top folder, $2 port or empty
  need_root
  need_command postfix postfix
  need_command postconf postfix
  need_command script "bsdutils (util-linux)"
  need_user postfix postfix
  getent group postdrop >/dev/null || die "group postdrop missing: reinstall the package postfix"
  local top=$1 p=$1/postfix port=$2 attempt
  prepare_top "$top"
  [ -z "$(postfix_pid "$top")" ] || die "Postfix already runs in $p"
  mkdir -p "$p/conf" "$p/queue" "$p/data" "$p/mail"
  chmod 0755 "$p" "$p/conf" "$p/queue"
  chown postfix "$p/data"
  chown "$kMailUid:$kMailUid" "$p/mail"
  chmod 0700 "$p/mail"
  # One store for the whole domain (a map may not derive folder names from the address); the
  # Delivered-To line Postfix adds tells the recipients apart.
  echo "/@${kStoredDomain//./\\.}\$/ Maildir/" >"$p/conf/mailboxes"
  for attempt in 1 2 3 4 5; do
    [ -n "$port" ] || port=$(pick_port)
    postfix_main_cf "$p" "$port" >"$p/conf/main.cf"
    postfix_master_cf "$port" >"$p/conf/master.cf"
    : >"$p/maillog"
    # Postfix rereads a configuration file until it is more than a second old (against
    # half-saved edits); dating ours back spares that wait at every start.
    touch -d "@$(($(date +%s) - 60))" "$p/conf/main.cf" "$p/conf/master.cf" "$p/conf/mailboxes"
    # Under script(1) Postfix believes it has a terminal and reports its errors there (there is
    # no syslog); the transcript goes to start.log.
    if script -qec "postfix -c '$p/conf' start" "$p/start.log" </dev/null >/dev/null 2>&1; then
      started+=(postfix_stop)
      wait_for_server "$p/queue/pid/master.pid" "$port" Postfix "$p/maillog" || exit 1
      echo "$port" >"$p/port"
      echo "smtp_port=$port"
      echo "smtp_store=$p/mail/Maildir"
      echo "smtp_stored_domain=$kStoredDomain"
      echo "smtp_refused_domain=$kRefusedDomain"
      return 0
    fi
    if [ -z "$2" ] && grep -qs 'Address already in use' "$p/start.log" "$p/maillog"; then
      port=""
      continue
    fi
    cat "$p/start.log" >&2
    tail -n 20 "$p/maillog" >&2 2>/dev/null || true
    die "Postfix did not start (attempt $attempt)"
  done
  die "Postfix found no free port after 5 attempts"
}

# The master of the instance in $1 when it runs. It works in its queue directory; its command
# line does not name the instance.
postfix_pid() {
  local pid
  pid=$(read_pid "$1/postfix/queue/pid/master.pid") && process_alive "$pid" &&
    [ "$(readlink "/proc/$pid/cwd" 2>/dev/null)" = "$1/postfix/queue" ] && echo "$pid"
  return 0
}

postfix_stop() {
  local pid
  pid=$(postfix_pid "$1")
  [ -z "$pid" ] || stop_master "$pid" Postfix
  rm -f "$1/postfix/queue/pid/master.pid"
}

# --- Commands -----------------------------------------------------------------------------------

usage() {
  awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0" >&2
  exit 2
}

[ $# -ge 2 ] || usage
command=$1
top=$(realpath -m "$2")
shift 2

# A command that fails stops every server it had started, so nothing outlives a failed start.
started=()
on_exit() {
  local status=$? stop
  if [ "$status" -ne 0 ]; then
    for stop in "${started[@]}"; do "$stop" "$top" || true; done
  fi
}
trap on_exit EXIT
case $command in
  start)
    [ $# -eq 0 ] || usage
    dovecot_start "$top" ""
    postfix_start "$top" ""
    ;;
  stop)
    [ $# -eq 0 ] || usage
    status=0
    dovecot_stop "$top" || status=1
    postfix_stop "$top" || status=1
    exit $status
    ;;
  dovecot-start) [ $# -le 1 ] || usage; dovecot_start "$top" "${1:-}" ;;
  dovecot-stop) [ $# -eq 0 ] || usage; dovecot_stop "$top" ;;
  dovecot-user) [ $# -eq 2 ] || usage; dovecot_user "$top" "$1" "$2" ;;
  dovecot-deliver) [ $# -ge 1 ] || usage; dovecot_deliver "$top" "$@" ;;
  postfix-start) [ $# -le 1 ] || usage; postfix_start "$top" "${1:-}" ;;
  postfix-stop) [ $# -eq 0 ] || usage; postfix_stop "$top" ;;
  *) usage ;;
esac
