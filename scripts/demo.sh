#!/usr/bin/env bash
# make demo: one scan from start to end on this machine. Starts a private Dovecot (POP3) and
# Postfix (SMTP) on 127.0.0.1 under a new folder in /tmp, drops four sample messages into a
# mailbox, configures one account with mailferryctl, runs `mailferryctl scan`, shows the summary,
# the activity log and where the forwarded messages lie, and stops the servers. The folder stays
# so the messages can be read; nothing outside it is changed. Needs root.
#
#   scripts/demo.sh [MAILFERRYCTL]        (default: build/src/mailferryctl)

set -euo pipefail
cd "$(dirname "$0")/.."
ctl=$(realpath "${1:-build/src/mailferryctl}")
servers=scripts/mailservers.sh

[ -x "$ctl" ] || { echo "demo: $ctl is not built (make build)" >&2; exit 1; }
[ "$(id -u)" = 0 ] || { echo "demo: must run as root (the mail servers switch to their own users)" >&2; exit 1; }

# Under /tmp: the servers' own users must be able to reach the folder.
top=$(mktemp -d /tmp/mailferry-demo.XXXXXX)
trap 'bash "$servers" stop "$top" >/dev/null || echo "demo: stopping the servers failed" >&2' EXIT

heading() { printf '\n== %s\n' "$*"; }

# Polls the command text $1 every 0.1 s until it succeeds or $2 seconds have passed.
wait_until() {
  local tries=$(($2 * 10))
  until eval "$1"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.1
  done
}
count_files() { find "$@" -type f 2>/dev/null | wc -l; }

heading "Starting Dovecot and Postfix on 127.0.0.1 under $top"
declare -A server
while IFS='=' read -r name value; do server[$name]=$value; done < <(bash "$servers" start "$top")
echo "POP3 server: 127.0.0.1:${server[pop3_port]}"
echo "SMTP server: 127.0.0.1:${server[smtp_port]}, storing mail for @${server[smtp_stored_domain]}"

remote=example.com
local_domain=${server[smtp_stored_domain]}
user=office
password=demo-secret
bash "$servers" dovecot-user "$top" "$user" "$password" >/dev/null

heading "Four messages in the mailbox '$user' (for addresses @$remote)"
samples=$top/samples
mkdir -p "$samples"
cat >"$samples/1-welcome.eml" <<EOF
From: Alice Example <alice@example.org>
To: anna@$remote
Cc: Bob <bob@$remote>
Subject: Welcome to the new office
Date: Mon, 1 Jun 2026 09:00:00 +0200
Message-ID: <demo-1@example.org>

Hello Anna, hello Bob,

the keys are at the front desk.

Alice
EOF
cat >"$samples/2-invoice.eml" <<EOF
From: billing@supplier.example
To: accounts@$remote
Subject: Invoice 2026-117
Date: Mon, 1 Jun 2026 10:30:00 +0200
Message-ID: <demo-2@supplier.example>
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary="part-boundary"

--part-boundary
Content-Type: text/plain; charset=us-ascii

The invoice is attached.

--part-boundary
Content-Type: text/csv; name="invoice-117.csv"
Content-Transfer-Encoding: base64
Content-Disposition: attachment; filename="invoice-117.csv"

$(printf 'item;amount\npaper;12.50\ntoner;48.00\n' | base64)
--part-boundary--
EOF
cat >"$samples/3-umlaut.eml" <<EOF
From: =?UTF-8?Q?J=C3=BCrgen_M=C3=BCller?= <juergen@example.de>
To: anna@$remote
Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_M=C3=BCnchen?=
Date: Mon, 1 Jun 2026 11:15:00 +0200
Message-ID: <demo-3@example.de>
MIME-Version: 1.0
Content-Type: text/plain; charset=UTF-8
Content-Transfer-Encoding: quoted-printable

Sch=C3=B6ne Gr=C3=BC=C3=9Fe!
EOF
cat >"$samples/4-looped.eml" <<EOF
From: anna@$remote
To: boss@$remote
Subject: Already forwarded once
Date: Mon, 1 Jun 2026 12:00:00 +0200
Message-ID: <demo-4@$remote>
X-POP3-Connector: Mailferry V1.0

This one carries the loop marker, so it is not forwarded again.
EOF
bash "$servers" dovecot-deliver "$top" "$user" "$samples"/*.eml
for file in "$samples"/*.eml; do
  printf '  %-16s %s\n' "$(basename "$file")" "$(grep -m1 '^Subject:' "$file")"
done

heading "Configuring Mailferry (data directory $top/data)"
data=$top/data
mkdir -p "$data"
mfctl() { "$ctl" --data-dir "$data" "$@"; }
mfctl init
mfctl system set ExchangeServer=127.0.0.1 "SMTPPort=${server[smtp_port]}" CheckLog=True
id=$(mfctl account add AccountName=Office Pop3Server=127.0.0.1 "Pop3Port=${server[pop3_port]}" \
  "Pop3UserName=$user" "Pop3Password=$password" "Pop3DomainName=$remote" \
  "SMTPDomainName=$local_domain" ForwardMethod=0 Pop3KeepMessages=False)
echo "account $id: every @$remote recipient becomes the same user @$local_domain"
mfctl show

heading "mailferryctl scan"
status=0
mfctl scan || status=$?

heading "Activity log ($data/MFY.log)"
if [ -f "$data/MFY.log" ]; then tr -d '\r' <"$data/MFY.log"; else echo "(none written)"; fi

# Postfix stores what it accepted on its own time, and Dovecot deletes after the QUIT.
queue=$top/postfix/queue
wait_until '[ "$(count_files "$queue"/{maildrop,incoming,active,deferred})" = 0 ]' 30 ||
  echo "demo: Postfix still holds mail in its queue" >&2
mailbox=("${server[pop3_homes]}/$user/Maildir/"{new,cur})
wait_until '[ "$(count_files "${mailbox[@]}")" = 0 ]' 5 || true

heading "Delivered by the SMTP server into ${server[smtp_store]}"
delivered=0
for file in "${server[smtp_store]}"/new/* "${server[smtp_store]}"/cur/*; do
  [ -f "$file" ] || continue
  delivered=$((delivered + 1))
  to=$(sed -n 's/^Delivered-To: //p' "$file" | head -n 1)
  subject=$(grep -m1 '^Subject:' "$file" || true)
  printf '  %-28s %s\n      %s\n' "$to" "$subject" "$file"
done
[ "$delivered" -gt 0 ] || echo "  (nothing)"
echo "Messages left in the mailbox '$user': $(count_files "${mailbox[@]}")"

heading "Stopping the servers"
bash "$servers" stop "$top"
trap - EXIT
echo "The messages stay under $top; remove it with: rm -rf $top"
exit "$status"
