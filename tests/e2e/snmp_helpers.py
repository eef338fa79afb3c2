"""Helpers for the SNMP end-to-end tests: a Varnel service on a fresh program directory,
the net-snmp command-line tools, and a small BER builder for hostile datagrams."""

import os
import signal
import socket
import sqlite3
import subprocess
import time
from pathlib import Path

P = "1.3.6.1.4.1.99412.1.10"

# The tools read no MIB files, so every OID is printed numerically.
TOOL_ENV = dict(os.environ, MIBS="", MIBDIRS="/nonexistent")


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(predicate, timeout=10.0, interval=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        result = predicate()
        if result:
            return result
        time.sleep(interval)
    return predicate()


class Varnel:
    """A Varnel service on its own program directory, with the SNMP agent and the trap
    server on free loopback ports."""

    def __init__(self, home: Path, check_interval=5, tick_ms=100):
        self.home = home
        self.eventlog = home.parent / (home.name + "-eventlog.txt")
        self.agent_port = free_udp_port()
        self.trap_port = free_udp_port()
        self.tick_ms = tick_ms
        self.proc = None
        subprocess.run([os.environ["VARNEL_ADMIN_BIN"], "init", str(home)], check=True,
                       stdout=subprocess.DEVNULL)
        self.set("Settings_SNMP_Agent", Enabled=1, IpAddress="127.0.0.1",
                 UdpPort=self.agent_port, GetComm="public", SetComm="private")
        self.set("Event_SNMP_TrapServer", Enabled=1, IpAddress="127.0.0.1",
                 UdpPort=self.trap_port, Community="public")
        self.set("Event_CheckInterval", CheckInterval=check_interval)

    # Database access, as the administration program does it.
    def db(self):
        return sqlite3.connect(self.home / "Varnel.mdb", timeout=10)

    def set(self, table, **columns):
        with self.db() as c:
            c.execute(f'UPDATE "{table}" SET ' + ", ".join(f'"{k}"=?' for k in columns),
                      list(columns.values()))

    def add_row(self, table, **columns):
        with self.db() as c:
            c.execute(f'INSERT INTO "{table}" (' + ", ".join(f'"{k}"' for k in columns) +
                      ") VALUES (" + ", ".join("?" for _ in columns) + ")",
                      list(columns.values()))

    def query(self, sql, *args):
        with self.db() as c:
            return c.execute(sql, args).fetchall()

    def column(self, table, column):
        return self.query(f'SELECT "{column}" FROM "{table}"')[0][0]

    def events(self):
        """Rows of LogFiles_Event as (priority, node name, message)."""
        return self.query('SELECT Priority, NodeName, Message FROM LogFiles_Event '
                          'ORDER BY "Index"')

    # Process control.
    def start(self):
        env = dict(os.environ, VARNEL_HOME=str(self.home), VARNEL_TICK_MS=str(self.tick_ms),
                   VARNEL_EVENTLOG_FILE=str(self.eventlog))
        self.proc = subprocess.Popen([os.environ["VARNEL_BIN"]], env=env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        assert wait_for(lambda: self.entries(101) or self.proc.poll() is not None, 30), \
            "no start entry"
        assert self.proc.poll() is None, self.proc.stderr.read().decode()
        return self

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(30)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        stderr = self.proc.stderr.read().decode() if self.proc else ""
        return self.proc.returncode if self.proc else None, stderr

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def entries(self, event_id=None):
        """Event-log entries as (type, id, text)."""
        if not self.eventlog.exists():
            return []
        out = []
        for line in self.eventlog.read_text(errors="replace").splitlines():
            parts = line.split("\t", 3)
            if len(parts) == 4 and (event_id is None or int(parts[2]) == event_id):
                out.append((int(parts[1]), int(parts[2]), parts[3]))
        return out

    def rss_kib(self):
        for line in Path(f"/proc/{self.proc.pid}/status").read_text().splitlines():
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
        return 0

    # The net-snmp tools against this service.
    def snmp(self, tool, *args, version="2c", community="public", port=None, timeout=5):
        target = f"127.0.0.1:{port or self.agent_port}"
        cmd = [tool, f"-v{version}", "-c", community, "-On", "-r", "2", "-t", "2", target]
        return subprocess.run(cmd + list(args), env=TOOL_ENV, capture_output=True,
                              text=True, timeout=timeout * 6)

    def trap(self, *args, version="2c", community="public"):
        cmd = ["snmptrap", f"-v{version}", "-c", community, f"127.0.0.1:{self.trap_port}"]
        subprocess.run(cmd + list(args), env=TOOL_ENV, check=True, capture_output=True)

    def cycle_done(self, timeout=10):
        """Waits until the service has run one more cycle: an update request set through the
        agent is answered by the next cycle, which sets it back to 2."""
        r = self.snmp("snmpset", f"{P}.1.2.1.0", "i", "1", community="private")
        assert r.returncode == 0, r.stderr
        return wait_for(lambda: self.snmp("snmpget", f"{P}.1.2.1.0").stdout.strip()
                        .endswith("INTEGER: 2"), timeout)


# A minimal BER builder for datagrams that the tools will not send.
def tlv(tag, content: bytes) -> bytes:
    n = len(content)
    if n < 0x80:
        length = bytes([n])
    elif n < 0x100:
        length = bytes([0x81, n])
    else:
        length = bytes([0x82, n >> 8, n & 0xFF])
    return bytes([tag]) + length + content


def ber_int(v: int) -> bytes:
    return tlv(0x02, v.to_bytes(max(1, (v.bit_length() + 8) // 8), "big", signed=True))


def ber_oid(dotted: str) -> bytes:
    arcs = [int(a) for a in dotted.split(".")]
    out = bytearray()
    for arc in [arcs[0] * 40 + arcs[1]] + arcs[2:]:
        chunk = [arc & 0x7F]
        arc >>= 7
        while arc:
            chunk.append(0x80 | (arc & 0x7F))
            arc >>= 7
        out += bytes(reversed(chunk))
    return tlv(0x06, bytes(out))


def v2_trap(community: bytes, trap_oid: str, binds=(), request_id=1) -> bytes:
    """A v2c trap with sysUpTime.0, snmpTrapOID.0 and extra (oid, value-tlv) bindings."""
    varbinds = [tlv(0x30, ber_oid("1.3.6.1.2.1.1.3.0") + tlv(0x43, b"\x01")),
                tlv(0x30, ber_oid("1.3.6.1.6.3.1.1.4.1.0") + ber_oid(trap_oid))]
    varbinds += [tlv(0x30, ber_oid(o) + v) for o, v in binds]
    pdu = ber_int(request_id) + ber_int(0) + ber_int(0) + tlv(0x30, b"".join(varbinds))
    return tlv(0x30, ber_int(1) + tlv(0x04, community) + tlv(0xA7, pdu))
