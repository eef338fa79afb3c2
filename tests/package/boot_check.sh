#!/usr/bin/env bash
# Boots a clean Debian 12 machine with systemd as PID 1 and checks the package on it:
# installs it (dependencies from the Debian mirror), starts, asks varnel-admin status, stops,
# grants and drops the low-port capability, reads the journal, purges (boot_inside.sh holds
# the checks). The clean root is made once with debootstrap and kept in
# /var/tmp/varnel-boot; each run boots a fresh copy of it, twice (install, then run).
# Boots with systemd-nspawn, or with --qemu in a QEMU virtual machine (software emulation
# when there is no KVM) on the root's own kernel, over a serial console.
# Needs root, network and debootstrap; run it by hand, never from CI.
#   tests/package/boot_check.sh [--qemu] [build/varnel_VERSION_ARCH.deb]
set -uo pipefail
cd "$(dirname "$0")/../.."

method=nspawn
if [ "${1:-}" = --qemu ]; then
  method=qemu
  shift
fi
deb=${1:-$(ls -t build/varnel_*.deb 2>/dev/null | head -1)}
cache=/var/tmp/varnel-boot
mirror=http://deb.debian.org/debian
clean=$cache/bookworm-$method
machine=$cache/machine-$method
log=$machine/root/boot-check.log
boot_limit=1800  # seconds a boot may take before it is stopped (emulation is slow)

[ "$(id -u)" -eq 0 ] || { echo "boot_check: run as root" >&2; exit 2; }
[ -f "$deb" ] || { echo "boot_check: no package (run scripts/package)" >&2; exit 2; }

say() { echo "boot_check: $*"; }
seconds_since() { echo $(($(date +%s) - $1)); }

# The clean root: debootstrap's standard system with systemd, and for QEMU the kernel and
# what the virtual machine needs to boot from a disk image and reach the mirror.
make_clean_root() {
  [ -e "$clean/.complete" ] && return 0
  local t0 extra=dbus,systemd-sysv
  [ "$method" = qemu ] && extra=$extra,linux-image-amd64,systemd-resolved
  t0=$(date +%s)
  say "debootstrap bookworm into $clean"
  command -v debootstrap >/dev/null || apt-get install -y -q debootstrap >/dev/null
  rm -rf "$clean.tmp"
  debootstrap --include="$extra" bookworm "$clean.tmp" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
    { tail "$cache/debootstrap.log"; return 1; }
  mv "$clean.tmp" "$clean"
  touch "$clean/.complete"
  say "debootstrap took $(seconds_since "$t0") s"
}

# A fresh copy of the clean root with the package, the checks and the unit that runs them
# once the machine has booted, then powers it off.
make_machine() {
  rm -rf "$machine"
  cp -a "$clean" "$machine"
  echo varnel-boot >"$machine/etc/hostname"
  cp "$deb" "$machine/root/varnel.deb"
  install -m 0755 tests/package/boot_inside.sh "$machine/root/boot_inside.sh"
  cat >"$machine/etc/systemd/system/varnel-boot-check.service" <<'EOF'
[Unit]
Description=Varnel package checks
After=multi-user.target network-online.target
Wants=network-online.target

[Service]
Type=simple
ExecStart=/root/boot_inside.sh
ExecStopPost=/bin/systemctl poweroff --no-block
StandardOutput=journal+console
StandardError=inherit
EOF
  mkdir -p "$machine/etc/systemd/system/multi-user.target.wants"
  ln -sf ../varnel-boot-check.service \
    "$machine/etc/systemd/system/multi-user.target.wants/varnel-boot-check.service"
}

boot_nspawn() {
  timeout "$boot_limit" systemd-nspawn --boot --directory="$machine" --register=no \
    --keep-unit --machine=varnel-boot --console=pipe </dev/null >"$cache/console.log" 2>&1
}

boot() {
  local t0 lines
  t0=$(date +%s)
  lines=0
  [ -f "$log" ] && lines=$(wc -l <"$log")
  "boot_$method"
  local rc=$?
  tail -n +"$((lines + 1))" "$log" 2>/dev/null
  say "boot $1 ($method) took $(seconds_since "$t0") s, exit $rc"
}

t_start=$(date +%s)
make_clean_root || { say "FAIL: no clean root"; exit 1; }
say "package $deb"
make_machine
boot install
boot run
say "all done in $(seconds_since "$t_start") s"
if grep -qx "== install: 0 failed" "$log" && grep -qx "== run: 0 failed" "$log"; then
  say "PASS"
else
  say "FAIL (transcript in $log, console in $cache/console.log)"
  exit 1
fi
