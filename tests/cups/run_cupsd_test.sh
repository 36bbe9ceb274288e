#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test program against a print server of its own: a private cupsd on a socket in
# a temporary folder, with three cups-pdf queues (Letter, A4, and Letter with margins),
# each writing its PDFs into a folder of its own. Nothing of the machine's own CUPS is
# read or changed: the server runs in a mount namespace of its own where /etc/cups (the
# only place cups-pdf reads its settings from) is the temporary folder.
#
#   tests/cups/run_cupsd_test.sh PROGRAM [ARGS...]
#
# PROGRAM sees CUPS_SERVER (the socket), ZELVANE_CUPS_OUT (the queues' output folders,
# one per queue name) and ZELVANE_CUPS_LOG (the server's error log). Exits 77 (skipped)
# with a message when the machine cannot run such a server.
set -euo pipefail

skip() {
  echo "SKIPPED: $*" >&2
  exit 77
}

[ $# -ge 1 ] || { echo "usage: $0 PROGRAM [ARGS...]" >&2; exit 2; }

if [ "${ZELVANE_CUPS_NAMESPACE:-}" != 1 ]; then
  command -v cupsd >/dev/null || PATH=$PATH:/usr/sbin
  command -v cupsd >/dev/null || skip "cupsd is not installed (scripts/setup installs cups)"
  command -v lpadmin >/dev/null || skip "lpadmin is not installed (scripts/setup installs cups)"
  [ -e /usr/lib/cups/backend/cups-pdf ] || skip "the cups-pdf backend is not installed (printer-driver-cups-pdf)"
  [ -f /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd ] || skip "the cups-pdf PPD is not installed"
  [ "$(id -u)" = 0 ] || skip "the cups-pdf backend runs only for root; run as root"
  command -v unshare >/dev/null || skip "unshare is not installed"
  unshare -m --propagation private true 2>/dev/null || skip "no mount namespace can be made here"
  export ZELVANE_CUPS_NAMESPACE=1
  exec unshare -m --propagation private "$0" "$@"
fi

PATH=$PATH:/usr/sbin
root=$(mktemp -d /tmp/zelvane-cupsd.XXXXXX)
chmod 755 "$root"
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  umount /etc/cups 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT

etc=$root/etc
mkdir -p "$etc/ppd" "$root/spool/tmp" "$root/cache" "$root/run" "$root/log" "$root/pdf-spool" "$root/home"
for q in Letter A4 Margins; do mkdir -p "$root/out/$q"; done
chmod -R 755 "$root/out" "$root/pdf-spool"
chmod 1777 "$root/spool/tmp"

cat >"$etc/cups-files.conf" <<EOF
ServerRoot $etc
RequestRoot $root/spool
TempDir $root/spool/tmp
CacheDir $root/cache
StateDir $root/run
DataDir /usr/share/cups
ServerBin /usr/lib/cups
AccessLog $root/log/access_log
ErrorLog $root/log/error_log
PageLog $root/log/page_log
SystemGroup root
User lp
Group lp
EOF

cat >"$etc/cupsd.conf" <<EOF
Listen $root/cups.sock
LogLevel info
MaxLogSize 0
Browsing Off
BrowseLocalProtocols none
WebInterface No
DefaultAuthType None
PreserveJobHistory Yes
MaxJobs 0
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
EOF

# One settings file per queue: cups-pdf reads cups-pdf-QUEUE.conf.
for q in Letter A4 Margins; do
  cat >"$etc/cups-pdf-$q.conf" <<EOF
Out $root/out/$q
AnonDirName $root/out/$q
Spool $root/pdf-spool
Log $root/log
LogType 3
Grp root
UserUMask 0022
TitlePref 1
Label 1
EOF
done

# The margins queue: US Letter with 0.25 in at the sides, 0.5 in at the top and bottom.
ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
sed -e 's|^\*ImageableArea Letter/US Letter: "0 0 612 792"|*ImageableArea Letter/US Letter: "18 36 594 756"|' \
  "$ppd" >"$root/margins.ppd"
grep -q '"18 36 594 756"' "$root/margins.ppd" || { echo "the cups-pdf PPD has no Letter area to change" >&2; exit 1; }

mount --bind "$etc" /etc/cups

cupsd -f -c "$etc/cupsd.conf" -s "$etc/cups-files.conf" &
server_pid=$!
export CUPS_SERVER=$root/cups.sock
for _ in $(seq 1 100); do
  [ -S "$CUPS_SERVER" ] && lpstat -r >/dev/null 2>&1 && break
  sleep 0.1
done
lpstat -r >/dev/null 2>&1 || { echo "the private cupsd did not start:" >&2; cat "$root/log/error_log" >&2; exit 1; }

lpadmin -p Letter -E -v cups-pdf:/Letter -P "$ppd" -o PageSize=Letter 2>/dev/null
lpadmin -p A4 -E -v cups-pdf:/A4 -P "$ppd" -o PageSize=A4 2>/dev/null
lpadmin -p Margins -E -v cups-pdf:/Margins -P "$root/margins.ppd" -o PageSize=Letter 2>/dev/null

export ZELVANE_CUPS_OUT=$root/out
export ZELVANE_CUPS_LOG=$root/log/error_log
# The user's own print options (~/.cups/lpoptions) stay out of it.
export HOME=$root/home
unset CUPS_SERVERROOT PRINTER LPDEST
set +e
"$@"
status=$?
set -e
if [ $status -ne 0 ]; then
  echo "---- cupsd error log ----" >&2
  tail -n 60 "$root/log/error_log" >&2
fi
exit $status
