#!/bin/bash
# The checks boot_check.sh runs inside a freshly booted Debian 12 machine, as root, from the
# unit varnel-boot-check.service, with systemd as PID 1. Two boots:
#   install  dpkg -i the package, dependencies from the mirror, configure listeners
#   run      the unit started at boot; start, status, stop, the low-port drop-in, the
#            journal, reinstall, purge
# The first boot runs the install phase, the next the run phase. Each check prints PASS or
# FAIL with the seconds since the phase began, also appended to /root/boot-check.log; the last
# line is "== PHASE: N failed". The unit powers the machine off when the phase is done.
set -uo pipefail
export PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive

deb=/root/varnel.deb
done_install=/root/boot-check.installed
home=/var/lib/varnel
dropin=/etc/systemd/system/varnel.service.d/low-ports.conf
out=/tmp/boot_inside.out
started=$(date +%s.%N)
failures=0
# Lines in the journal or the service's files that mean the sandbox refused something.
denials='denied|read-only file system|operation not permitted|status=2[0-9][0-9]/|Failed to set up|Failed at step'

elapsed() { awk -v s="$started" -v e="$(date +%s.%N)" 'BEGIN { printf "%6.1fs", e - s }'; }
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@" >"$out" 2>&1; then
    echo "PASS $(elapsed)  $what"
  else
    echo "FAIL $(elapsed)  $what"
    sed 's/^/        /' "$out" | tail -40
    failures=$((failures + 1))
  fi
}
# Retries COMMAND until it holds, for up to 90 s (a loaded machine under emulation is slow).
eventually() {
  local deadline=$((SECONDS + 90))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.5
  done
}
admin() { runuser -u varnel -- /usr/sbin/varnel-admin "$@"; }
main_pid() { systemctl show -p MainPID --value varnel; }
cap_line() { awk -v k="$1:" '$1 == k { print $2 }' "/proc/$(main_pid)/status"; }
has_caps() {  # has_caps HEX: the service's effective and bounding capabilities are HEX
  echo "CapEff $(cap_line CapEff) CapBnd $(cap_line CapBnd) CapAmb $(cap_line CapAmb)"
  [ "$(cap_line CapEff)" = "$1" ] && [ "$(cap_line CapBnd)" = "$1" ]
}
runs_as_varnel() { [ "$(ps -o user= -p "$(main_pid)")" = varnel ]; }
status_running() { admin status "$home" | tee /dev/stderr | grep -qx "Service: running"; }
active() { systemctl is-active --quiet varnel; }
restarted_since() { [ "$(main_pid)" != "$1" ] && active; }  # restarted_since OLD_MAIN_PID
stopped_cleanly() {
  local state
  state=$(systemctl show -p ActiveState -p Result -p ExecMainStatus varnel | sort | tr '\n' ' ')
  echo "$state"
  [ "$state" = "ActiveState=inactive ExecMainStatus=0 Result=success " ]
}
logged() { admin log "$home" events | grep -q "$1"; }
udp_listener() { ss -Hulnp "sport = :$1" | tee /dev/stderr | grep -q '"varnel"'; }
# Sends a Syslog datagram to PORT once the service listens there, and waits for it in the
# event log.
syslog_logged() {
  local text="boot check on port $1 $$"
  eventually udp_listener "$1" && logger -n 127.0.0.1 -P "$1" -d "$text" &&
    eventually logged "$text"
}
# Which mounts the service sees: /usr read-only, the program directory writable.
sandboxed() {
  local pid
  pid=$(main_pid)
  findmnt -N "$pid" -no TARGET,OPTIONS -T /usr | tee /dev/stderr | grep -qE '(^|[ ,])ro(,|$)' &&
    findmnt -N "$pid" -no TARGET,OPTIONS -T "$home" | tee /dev/stderr | grep -qE '(^|[ ,])rw(,|$)'
}
restart_after_update() {
  /usr/lib/varnel/update-capabilities "$home" && systemctl restart varnel && active
}
no_denials() {
  local text
  text=$(journalctl -b -u varnel --no-pager -o cat; find "$home/Debug" -type f -exec cat {} +)
  ! grep -Ei "$denials" <<<"$text"
}

install_phase() {
  echo "== install"
  check "systemd is PID 1" test "$(cat /proc/1/comm)" = systemd
  check "boot finished" systemctl is-system-running --wait
  echo "        $(systemd-analyze time 2>&1 | head -1)"
  dpkg -i "$deb" >"$out" 2>&1 || echo "      (dpkg -i left dependencies to apt-get install -f)"
  check "apt-get update" apt-get update -q
  check "apt-get install -f configures varnel" apt-get install -f -y -q
  check "package installed" sh -c "dpkg-query -W -f='\${Status}' varnel | grep -qx 'install ok installed'"
  check "unit enabled" systemctl is-enabled varnel
  check "postinst started the service" active
  check "runs as varnel" runs_as_varnel
  check "no capability drop-in on a fresh database" test ! -e "$dropin"
  # A clean machine has no man(1) to look the unit's Documentation= pages up with.
  check "systemd-analyze verify is silent" \
    sh -c '! systemd-analyze verify --man=no varnel.service 2>&1 | grep .'
  check "manual pages installed" test -f /usr/share/man/man8/varnel.8.gz \
    -a -f /usr/share/man/man8/varnel-admin.8.gz
  check "agent on 127.0.0.1:1161" admin set "$home" Settings_SNMP_Agent Enabled=1 \
    IpAddress=127.0.0.1 UdpPort=1161
  check "Syslog on 127.0.0.1:5514" admin set "$home" Event_SysLog Enabled1=1 \
    IpAddress1=127.0.0.1 ListeningPort1=5514
  echo "== install: $failures failed"
}

run_phase() {
  echo "== started at boot"
  check "systemd is PID 1" test "$(cat /proc/1/comm)" = systemd
  check "boot finished" systemctl is-system-running --wait
  echo "        $(systemd-analyze time 2>&1 | head -1)"
  check "varnel active after boot" active
  check "varnel-admin status answered" eventually status_running
  check "systemctl stop varnel" systemctl stop varnel
  check "stopped cleanly (SIGTERM, exit 0)" stopped_cleanly

  echo "== start, status, stop"
  check "systemctl start varnel" systemctl start varnel
  check "systemctl is-active" systemctl is-active varnel
  check "runs as varnel" runs_as_varnel
  check "no capabilities" has_caps 0000000000000000
  check "/usr read-only, program directory writable" sandboxed
  check "varnel-admin status answered" eventually status_running
  check "Syslog datagram logged by the sandboxed service" syslog_logged 5514
  check "systemctl stop varnel" systemctl stop varnel
  check "stopped cleanly (SIGTERM, exit 0)" stopped_cleanly

  echo "== a listener below port 1024"
  check "Syslog on port 514" admin set "$home" Event_SysLog ListeningPort1=514
  check "update-capabilities, restart" restart_after_update
  check "drop-in in place" grep -qx "AmbientCapabilities=CAP_NET_BIND_SERVICE" "$dropin"
  check "CAP_NET_BIND_SERVICE only" has_caps 0000000000000400
  check "listening on UDP 514" eventually udp_listener 514
  check "Syslog datagram on port 514 logged" syslog_logged 514
  check "varnel-admin status answered" eventually status_running
  check "Syslog back on port 5514" admin set "$home" Event_SysLog ListeningPort1=5514
  check "update-capabilities, restart" restart_after_update
  check "drop-in removed" test ! -e "$dropin"
  check "no capabilities again" has_caps 0000000000000000
  check "systemctl stop varnel" systemctl stop varnel

  echo "== journal"
  journalctl -b -u varnel --no-pager -o short-monotonic | sed 's/^/        /'
  check "journal shows the unit started" \
    sh -c "journalctl -b -u varnel -o cat | grep -q '^Started varnel.service'"
  check "journal shows the unit stopped" \
    sh -c "journalctl -b -u varnel -o cat | grep -q '^Stopped varnel.service'"
  check "no sandbox denials in the journal or the service's trace" no_denials
  check "no errors from the service in the journal" \
    sh -c '! journalctl -b -u varnel -p err --no-pager -o cat | grep .'
  echo "        systemd-analyze security: $(systemd-analyze security varnel 2>&1 | tail -1)"

  echo "== reinstall, purge"
  check "systemctl start varnel" systemctl start varnel
  local before
  before=$(main_pid)
  check "dpkg -i again" dpkg -i "$deb"
  check "reinstall restarted the service" restarted_since "$before"
  check "configuration kept: varnel-admin status answered" eventually status_running
  check "apt-get purge varnel" apt-get purge -y -q varnel
  check "service stopped by prerm" sh -c '! pgrep -x varnel'
  check "unit gone" sh -c '! systemctl cat varnel.service'
  check "program directory gone" test ! -e "$home"
  echo "== run: $failures failed"
}

exec > >(tee -a /root/boot-check.log) 2>&1
if [ -e "$done_install" ]; then
  run_phase
else
  touch "$done_install"
  install_phase
fi
[ "$failures" -eq 0 ]
