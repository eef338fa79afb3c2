#!/usr/bin/env bash
# Boots a clean Debian 12 machine with systemd as PID 1 and checks the package on it:
# installs it (dependencies from the Debian mirror), starts, asks varnel-admin status, stops,
# grants and drops the low-port capability, reads the journal, purges (boot_inside.sh holds
# the checks). The clean root is made once with debootstrap and kept in
# /var/tmp/varnel-boot; each run boots a fresh copy of it, twice (install, then run).
# Boots with systemd-nspawn, or with --qemu in a QEMU virtual machine on the root's own
# kernel (KVM when /dev/kvm works, software emulation otherwise) from an ext4 image of the
# root, with the checks' output on the serial console.
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
console=$cache/console-$method.log
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
  [ "$method" = qemu ] && extra=$extra,linux-image-amd64
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
  [ "$method" = qemu ] && make_disk_image
  return 0
}

# The virtual machine's network (QEMU's user network: DHCP, DNS at 10.0.2.3) and its disk, an
# ext4 image filled from the machine's root.
make_disk_image() {
  printf '[Match]\nName=en*\n\n[Network]\nDHCP=yes\n' \
    >"$machine/etc/systemd/network/50-dhcp.network"
  echo "nameserver 10.0.2.3" >"$machine/etc/resolv.conf"
  chroot "$machine" systemctl enable systemd-networkd systemd-networkd-wait-online \
    >/dev/null 2>&1
  rm -f "$cache/disk.img"
  mkfs.ext4 -q -L root -d "$machine" "$cache/disk.img" 4G >/dev/null
}

boot_nspawn() {
  timeout "$boot_limit" systemd-nspawn --boot --directory="$machine" --register=no \
    --keep-unit --machine=varnel-boot --console=pipe </dev/null >>"$console" 2>&1
}

# Exposes the checks' transcript, kept in the image, at $log.
boot_qemu() {
  local accel=tcg cpus=1 kernel initrd
  # /dev/kvm can be present where the processor offers no virtualisation (a nested guest),
  # and a machine started on it then hangs: KVM only with the processor's support.
  if [ -w /dev/kvm ] && grep -qwE 'vmx|svm' /proc/cpuinfo; then
    accel=kvm
    cpus=2
  fi
  kernel=$(ls "$machine"/boot/vmlinuz-* | tail -1)
  initrd=$(ls "$machine"/boot/initrd.img-* | tail -1)
  say "qemu with $accel"
  timeout "$boot_limit" qemu-system-x86_64 -accel "$accel" -cpu max -m 1536 -smp "$cpus" -no-reboot \
    -display none -serial stdio -kernel "$kernel" -initrd "$initrd" \
    -append "root=/dev/vda rw console=ttyS0" \
    -drive file="$cache/disk.img",format=raw,if=virtio \
    -netdev user,id=net0 -device virtio-net-pci,netdev=net0 \
    </dev/null >>"$console" 2>&1
  local rc=$?
  debugfs -R "cat /root/boot-check.log" "$cache/disk.img" >"$log" 2>/dev/null
  return $rc
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
: >"$console"
boot install
boot run
say "all done in $(seconds_since "$t_start") s"
if grep -qx "== install: 0 failed" "$log" && grep -qx "== run: 0 failed" "$log"; then
  say "PASS"
else
  say "FAIL (transcript in $log, console in $console)"
  exit 1
fi
