"""Shared fixtures: a fresh program directory and the real service binary."""
import os
import signal
import sqlite3
import subprocess
import time

import pytest
import socket

VARNEL_BIN = os.environ.get("VARNEL_BIN", "build-test/varnel")
ADMIN_BIN = os.environ.get("VARNEL_ADMIN_BIN", "build-test/varnel-admin")
FAKETIME_LIB = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"


def wait_rows_of(query, n, timeout=20):
    """Polls query() until it returns at least n rows; fails with what it has otherwise."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        rows = query()
        if len(rows) >= n:
            return rows
        time.sleep(0.05)
    raise AssertionError(f"expected {n} rows, have {query()}")


class EventLogCopy:
    """Reads the VARNEL_EVENTLOG_FILE copy: one entry a line, time TAB type TAB id TAB text."""

    def __init__(self, path):
        self.path = path

    def entries(self):
        if not os.path.exists(self.path):
            return []
        out = []
        with open(self.path, encoding="utf-8", errors="replace") as f:
            for line in f:
                parts = line.rstrip("\n").split("\t", 3)
                if len(parts) == 4:
                    out.append((parts[0], int(parts[1]), int(parts[2]), parts[3]))
        return out

    def texts(self, event_id):
        return [e[3] for e in self.entries() if e[2] == event_id]

    def wait_for(self, event_id, text=None, timeout=20.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for e in self.entries():
                if e[2] == event_id and (text is None or text in e[3]):
                    return e
            time.sleep(0.05)
        raise AssertionError(f"no event {event_id} {text!r} within {timeout}s: {self.entries()}")


class Varnel:
    """One program directory and, once started, the service process running in it."""

    def __init__(self, home):
        self.home = str(home)
        self.log = EventLogCopy(os.path.join(self.home, "eventlog.txt"))
        self.proc = None

    def init(self, demo=False):
        args = [ADMIN_BIN, "init", self.home] + (["--demo"] if demo else [])
        subprocess.run(args, check=True, capture_output=True, text=True)
        return self

    def db(self):
        return sqlite3.connect(os.path.join(self.home, "Varnel.mdb"), timeout=10)

    def set(self, table, **columns):
        """Sets columns of every row of a (single-row) table."""
        with self.db() as con:
            for col, value in columns.items():
                con.execute(f'UPDATE "{table}" SET "{col}" = ?', (value,))

    def query(self, sql, *params):
        with self.db() as con:
            return con.execute(sql, params).fetchall()

    def path(self, name):
        return os.path.join(self.home, name)

    def env(self, tick_ms=100, extra=None):
        env = dict(os.environ)
        env.update(VARNEL_HOME=self.home, VARNEL_TICK_MS=str(tick_ms),
                   VARNEL_EVENTLOG_FILE=self.log.path)
        env.update(extra or {})
        return env

    def run(self, *args, extra_env=None, timeout=20):
        """Runs the binary with a command-line option and returns the finished process."""
        return subprocess.run([VARNEL_BIN, *args], env=self.env(extra=extra_env),
                              capture_output=True, text=True, timeout=timeout)

    def start(self, tick_ms=100, faketime=None, wait=True, extra_env=None):
        cmd = [VARNEL_BIN]
        env = self.env(tick_ms, extra_env)
        if faketime:
            # libfaketime preloaded into the service itself (so that signals reach it); the
            # sanitizer runtime must then not insist on coming first.
            env["LD_PRELOAD"] = FAKETIME_LIB
            env["FAKETIME"] = faketime
            env["FAKETIME_DONT_RESET"] = "1"
            env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"),
                                                         "verify_asan_link_order=0"]))
        self.proc = subprocess.Popen(cmd, env=env,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if wait:
            self.log.wait_for(101)
        return self

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def stop(self, timeout=20):
        if not self.alive():
            return self.proc.returncode if self.proc else None
        self.proc.send_signal(signal.SIGTERM)
        try:
            rc = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise
        return rc


@pytest.fixture
def varnel(tmp_path):
    v = Varnel(tmp_path / "home")
    yield v
    if v.alive():
        v.proc.kill()
        v.proc.wait()


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@pytest.fixture
def snmptrapd(tmp_path):
    """A real snmptrapd on a free loopback port, logging every trap in one line."""
    port = free_udp_port()
    log = tmp_path / "snmptrapd.log"
    conf = tmp_path / "snmptrapd.conf"
    conf.write_text("disableAuthorization yes\n")
    proc = subprocess.Popen(
        ["/usr/sbin/snmptrapd", "-f", "-C", "-c", str(conf), "-n", "-On", "-Lf", str(log),
         "-F", "TRAP v=%s ent=%N specific=%q agent=%a vars=%v\n", f"udp:127.0.0.1:{port}"],
        env={"MIBS": "", "MIBDIRS": "/nonexistent", "PATH": "/usr/bin:/bin"})
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and "NET-SNMP version" not in (
            log.read_text() if log.exists() else ""):
        time.sleep(0.05)
    yield port, log
    proc.terminate()
    proc.wait()


