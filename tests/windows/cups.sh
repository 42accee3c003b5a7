#!/bin/sh
# cups.sh start|stop <dir> -- a private CUPS server for the printing tests.
#
# The server listens only on <dir>/cups.sock and keeps its configuration,
# spool, cache, state and logs under <dir>.  Its default queue "Morvane_PDF"
# is a cups-pdf printer whose instance configuration writes the PDF files into
# <dir>/pdf, so tests find their output there and nothing else is touched.
# A second cups-pdf queue with a 40-character name, like a network printer's
# (longer than the 31 characters a device mode holds), writes into <dir>/pdf2.
# Clients (lpstat, Wine) reach it with CUPS_SERVER=<dir>/cups.sock.
# The files really live in a fresh folder under /tmp and <dir> is a link to it:
# cupsd's filters run as lp, which cannot pass through a build tree below a
# private (mode 700) folder, and a short path keeps the socket name in bounds.
# "start" exits with 77 and prints why when CUPS cannot run on this machine.
set -eu
cmd=$1; dir=$2
queue=Morvane_PDF
queue2=Morvane_Network_Printer_With_A_Long_Name
# cups-pdf reads /etc/cups/cups-pdf-<suffix>.conf for a device URI cups-pdf:/<suffix>;
# a suffix unique to this run keeps parallel runs apart.
suffix=morvane-$(printf '%s' "$dir" | cksum | cut -d' ' -f1)
instance_conf=/etc/cups/cups-pdf-$suffix.conf
instance_conf2=/etc/cups/cups-pdf-$suffix-2.conf

skip() { echo "SKIP: $*"; exit 77; }

stop() {
  [ -L "$dir" ] || [ ! -e "$dir" ] || rm -rf "$dir"
  [ -e "$dir" ] || { rm -f "$dir"; rm -f "$instance_conf" "$instance_conf2"; return 0; }
  if [ -f "$dir/cupsd.pid" ]; then
    pid=$(cat "$dir/cupsd.pid")
    kill "$pid" 2>/dev/null || true
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do i=$((i + 1)); sleep 0.1; done
    rm -f "$dir/cupsd.pid"
  fi
  real=$(readlink "$dir")
  rm -f "$dir"
  case "$real" in /tmp/morvane-cups.*) rm -rf "$real" ;; esac
  rm -f "$instance_conf" "$instance_conf2"
}

case "$cmd" in
start)
  for tool in cupsd lpadmin lpstat ipptool; do
    command -v "$tool" >/dev/null 2>&1 || [ -x "/usr/sbin/$tool" ] || skip "$tool is not installed"
  done
  [ -x /usr/lib/cups/backend/cups-pdf ] || skip "printer-driver-cups-pdf is not installed"
  [ "$(id -u)" -eq 0 ] || skip "a private cupsd with its cups-pdf backend needs root"
  [ -w /etc/cups ] || skip "/etc/cups is not writable"
  export PATH="$PATH:/usr/sbin"
  stop
  mkdir -p "$(dirname "$dir")"
  real=$(mktemp -d /tmp/morvane-cups.XXXXXX)
  chmod 755 "$real"
  ln -s "$real" "$dir"
  dir=$real
  mkdir -p "$dir/conf/ppd" "$dir/spool/tmp" "$dir/cache" "$dir/state/certs" "$dir/log" "$dir/pdf" "$dir/pdf2"
  chmod 755 "$dir" "$dir/conf" "$dir/log"
  chown -R root:lp "$dir/spool" "$dir/cache" "$dir/state"
  chmod 0710 "$dir/spool"; chmod 1770 "$dir/spool/tmp"; chmod 0770 "$dir/cache" "$dir/state"
  chmod 0777 "$dir/pdf" "$dir/pdf2"
  cat >"$dir/conf/cupsd.conf" <<CONF
Listen $dir/cups.sock
LogLevel warn
Browsing No
DefaultAuthType None
WebInterface No
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
  cat >"$dir/conf/cups-files.conf" <<CONF
User lp
Group lp
SystemGroup root
FileDevice Yes
ServerRoot $dir/conf
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
CONF
  for out in pdf pdf2; do
    conf=$instance_conf; [ $out = pdf ] || conf=$instance_conf2
    cat >"$conf" <<CONF
Out $dir/$out
AnonDirName $dir/$out
Spool $dir/spool/cups-pdf
Log $dir/log
UserUMask 0000
AnonUMask 0000
Grp lp
CONF
  done
  /usr/sbin/cupsd -f -c "$dir/conf/cupsd.conf" -s "$dir/conf/cups-files.conf" \
    >"$dir/log/cupsd.out" 2>&1 </dev/null &
  echo $! >"$dir/cupsd.pid"
  export CUPS_SERVER="$dir/cups.sock"
  i=0
  until lpstat -r 2>/dev/null | grep -q 'is running'; do
    i=$((i + 1))
    if [ $i -ge 100 ] || ! kill -0 "$(cat "$dir/cupsd.pid")" 2>/dev/null; then
      cat "$dir/log/cupsd.out" "$dir/log/error_log" 2>/dev/null || true
      stop; skip "cupsd did not start"
    fi
    sleep 0.1
  done
  lpadmin -p "$queue" -E -v "cups-pdf:/$suffix" -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd \
    || { stop; skip "lpadmin could not create the PDF queue"; }
  lpadmin -p "$queue2" -E -v "cups-pdf:/$suffix-2" -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd \
    || { stop; skip "lpadmin could not create the second PDF queue"; }
  lpadmin -d "$queue"
  echo "cupsd running on $dir/cups.sock, default queue $queue (PDFs in $dir/pdf), $queue2 (PDFs in $dir/pdf2)" ;;
stop)
  stop ;;
esac
