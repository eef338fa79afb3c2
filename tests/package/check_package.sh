#!/usr/bin/env bash
# Installs the Debian package on this machine and checks what it put in place, runs the
# service by hand as its user, then removes and purges the package and checks the clean-up.
# Needs root and changes the system (user varnel, /var/lib/varnel, /usr/sbin, the unit):
# run it by hand on a test machine, never from CI.
#   tests/package/check_package.sh [build/varnel_VERSION_ARCH.deb]
set -uo pipefail
cd "$(dirname "$0")/../.."

deb=${1:-$(ls -t build/varnel_*.deb 2>/dev/null | head -1)}
home=/var/lib/varnel
unit=/lib/systemd/system/varnel.service
dropin=/etc/systemd/system/varnel.service.d/low-ports.conf
agent_port=17161  # the agent on loopback for the run by hand; 999 stands for a low port

[ "$(id -u)" -eq 0 ] || { echo "check_package: run as root" >&2; exit 2; }
[ -f "$deb" ] || { echo "check_package: no package (run scripts/package)" >&2; exit 2; }
if dpkg-query -W -f='${Status}' varnel 2>/dev/null | grep -q installed || [ -e "$home" ]; then
  echo "check_package: varnel is installed or $home exists; purge it first" >&2
  exit 2
fi

failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@" >/tmp/check_package.out 2>&1; then
    echo "ok    $what"
  else
    echo "FAIL  $what"
    sed 's/^/      /' /tmp/check_package.out
    failures=$((failures + 1))
  fi
}
as_varnel() {
  setpriv --reuid=varnel --regid=varnel --init-groups --inh-caps=-all --bounding-set=-all \
    --no-new-privs env VARNEL_HOME="$home" "$@"
}
admin() { as_varnel /usr/sbin/varnel-admin "$@"; }
owned_by_varnel() { [ "$(stat -c %U:%G "$1")" = varnel:varnel ]; }
system_user() {
  local uid shell
  uid=$(getent passwd varnel | cut -d: -f3)
  shell=$(getent passwd varnel | cut -d: -f7)
  [ "$uid" -lt 1000 ] && [ "$shell" = /usr/sbin/nologin ]
}
no_group_or_other_access() { [ "$(stat -c %a "$home")" = 750 ]; }
unit_verifies() {
  command -v systemd-analyze >/dev/null || { echo "systemd-analyze missing: skipped"; return 0; }
  local man=yes
  [ -e /usr/share/man/man8/varnel.8.gz ] || man=no
  # Values it cannot parse are only printed, so any output fails the check too.
  local out rc
  out=$(systemd-analyze verify --man="$man" "$unit" 2>&1)
  rc=$?
  echo "$out"
  [ "$rc" -eq 0 ] && [ -z "$out" ]
}
has() { grep -qx "$2" "$1"; }

# Runs the service as its user with the capabilities given (setpriv --ambient-caps form,
# as the unit's AmbientCapabilities would), until UNTIL (a check command) holds or 50 tries
# have passed, then stops it with SIGTERM. Fails unless UNTIL held and the service exited 0.
run_service_until() {
  local caps=$1 until=$2 pid held=1
  local run=(setpriv --reuid=varnel --regid=varnel --init-groups --no-new-privs)
  if [ -n "$caps" ]; then
    run+=(--inh-caps="$caps" --ambient-caps="$caps" --bounding-set="$caps")
  else
    run+=(--inh-caps=-all --bounding-set=-all)
  fi
  (cd "$home" && exec "${run[@]}" env VARNEL_HOME="$home" VARNEL_TICK_MS=200 /usr/sbin/varnel) &
  pid=$!
  for _ in $(seq 50); do
    if "$until"; then held=0; break; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  kill -TERM "$pid" 2>/dev/null
  wait "$pid"
  local rc=$?
  [ "$held" -eq 0 ] && [ "$rc" -eq 0 ]
}
status_running() { admin status "$home" | tee /tmp/check_package.status | grep -qx "Service: running"; }
agent_failed_to_start() {
  admin show "$home" Settings_SNMP_Agent | grep -q "Failed to Start"
}
status_answers() { run_service_until "" status_running; }
status_answers_with_cap() { run_service_until "+net_bind_service" status_running; }
agent_fails_without_cap() { run_service_until "" agent_failed_to_start; }

echo "== install $deb"
check "dpkg -i" dpkg -i "$deb"
check "varnel in /usr/sbin" test -x /usr/sbin/varnel
check "varnel-admin in /usr/sbin" test -x /usr/sbin/varnel-admin
check "systemd unit in place" test -f "$unit"
check "unit enabled for multi-user.target" \
  test -L /etc/systemd/system/multi-user.target.wants/varnel.service
check "unit passes systemd-analyze verify" unit_verifies
check "system user varnel with no login shell" system_user
check "program directory owned by varnel" owned_by_varnel "$home"
check "program directory closed to others" no_group_or_other_access
check "database created, owned by varnel" owned_by_varnel "$home/Varnel.mdb"
check "varnel-admin check passes" admin check "$home"
check "no capability drop-in without a low port" test ! -e "$dropin"

echo "== run by hand as varnel"
check "agent on loopback" admin set "$home" Settings_SNMP_Agent Enabled=1 IpAddress=127.0.0.1 \
  UdpPort=$agent_port
check "service answers varnel-admin status, stops on SIGTERM" status_answers

echo "== a listener below port 1024"
check "agent on port 999" admin set "$home" Settings_SNMP_Agent UdpPort=999
check "update-capabilities writes the drop-in" /usr/lib/varnel/update-capabilities "$home"
check "drop-in grants CAP_NET_BIND_SERVICE" has "$dropin" "AmbientCapabilities=CAP_NET_BIND_SERVICE"
check "without the capability the agent fails to start" agent_fails_without_cap
check "with the capability it answers" status_answers_with_cap
check "agent back above 1024" admin set "$home" Settings_SNMP_Agent UdpPort=$agent_port
check "update-capabilities removes the drop-in" /usr/lib/varnel/update-capabilities "$home"
check "drop-in gone" test ! -e "$dropin"

echo "== reinstall keeps the database"
check "mark the database" admin set "$home" Settings_SNMP_Agent SysName=kept-by-reinstall
check "dpkg -i again" dpkg -i "$deb"
check "database kept" sh -c "setpriv --reuid=varnel --regid=varnel --init-groups \
  /usr/sbin/varnel-admin show $home Settings_SNMP_Agent | grep -q kept-by-reinstall"

echo "== remove"
check "dpkg -r" dpkg -r varnel
check "programs gone" test ! -e /usr/sbin/varnel -a ! -e /usr/sbin/varnel-admin
check "unit gone" test ! -e "$unit"
check "program directory kept by remove" test -f "$home/Varnel.mdb"

echo "== purge"
check "dpkg --purge" dpkg --purge varnel
check "program directory gone" test ! -e "$home"
check "no unit links left" sh -c "! find /etc/systemd -name 'varnel*' | grep -q ."
check "package unknown to dpkg" sh -c "! dpkg-query -W varnel"

echo "== $failures failed"
[ "$failures" -eq 0 ]
