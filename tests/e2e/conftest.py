"""End-to-end harness: the real service in a program directory under tmp_path, on free
loopback ports, and the peers it talks to (net-snmp tools, snmptrapd, aiosmtpd relays)."""
import asyncio
import datetime as dt
import email.policy
import glob
import importlib.util
import os
import pathlib
import shutil
import signal
import socket
import sqlite3
import subprocess
import threading
import time
import types

import pytest

from gsm_simulator import GsmSimulator

VARNEL_BIN = os.environ.get("VARNEL_BIN", "build-test/varnel")
ADMIN_BIN = os.environ.get("VARNEL_ADMIN_BIN", "build-test/varnel-admin")
P = "1.3.6.1.4.1.99412.1.10"  # the private arc of the agent and of the traps
DUTY = {f"DutyTime{d}": 16777215 for d in ("Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun")}
# The net-snmp tools read no MIB files, so every OID is printed numerically.
TOOL_ENV = dict(os.environ, MIBS="", MIBDIRS="/nonexistent")
SBIN_PATH = os.environ.get("PATH", "/usr/bin:/bin") + ":/usr/sbin:/sbin"


def free_port(kind=socket.SOCK_DGRAM):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(check, timeout=20, what="the condition"):
    deadline = time.monotonic() + timeout
    while not (value := check()) and time.monotonic() < deadline:
        time.sleep(0.05)
    assert value, f"timed out after {timeout}s waiting for {what() if callable(what) else what}"
    return value


def wait_rows_of(query, n, timeout=20):
    wait_until(lambda: len(query()) >= n, timeout, lambda: f"{n} rows, have {query()}")
    return query()


def faketime_lib():
    found = glob.glob("/usr/lib*/*/faketime/libfaketime.so.1") + glob.glob(
        "/usr/lib*/faketime/libfaketime.so.1")
    return found[0] if found else None


def needs(*programs, modules=(), faketime=False):
    missing = [p for p in programs if not shutil.which(p, path=SBIN_PATH)]
    missing += [m for m in modules if importlib.util.find_spec(m) is None]
    if faketime and not faketime_lib():
        missing.append("libfaketime")
    return pytest.mark.skipif(bool(missing), reason="not installed: " + ", ".join(missing))


def receivers(*slots):
    """The five receiver columns of a support group, from (name, type) pairs."""
    slots = list(slots) + [("None", "")] * (5 - len(slots))
    return {f"Recv{part}{i}": value for i, slot in enumerate(slots, 1)
            for part, value in zip(("Name", "Type"), slot)}


class Varnel:
    """One program directory and, once started, the service process running in it."""

    host = "127.0.0.1"  # where the SNMP tools reach its agent

    def __init__(self, home):
        self.home = str(home)
        self.log_path, self.stderr_path = self.home + "-eventlog.txt", self.home + "-stderr.txt"
        self.proc = self.agent_port = self.trap_port = None

    def init(self, demo=False):
        args = [ADMIN_BIN, "init", self.home] + (["--demo"] if demo else [])
        subprocess.run(args, check=True, capture_output=True, text=True)
        self.set("Event_CheckInterval", CheckInterval=5)
        return self

    def log(self, event_id=None):
        """The ids of the system log entries, or the texts of those with event_id."""
        lines = [line.split("\t", 3) for line in self.read(self.log_path).splitlines()]
        return [int(p[2]) if event_id is None else p[3] for p in lines
                if len(p) == 4 and event_id in (None, int(p[2]))]

    def query(self, sql, *params):
        with sqlite3.connect(self.path("Varnel.mdb"), timeout=10) as con:
            return con.execute(sql, params).fetchall()

    def set(self, table, **columns):
        self.query(f'UPDATE "{table}" SET ' + ", ".join(f'"{k}" = ?' for k in columns),
                   *columns.values())

    def add_row(self, table, **columns):
        self.query(f'INSERT INTO "{table}" (' + ", ".join(f'"{k}"' for k in columns) +
                   ") VALUES (" + ", ".join("?" * len(columns)) + ")", *columns.values())

    def add_group(self, name, *receiver_slots, **columns):
        """An enabled group on duty all week taking every event unless columns say not."""
        row = dict(Name=name, Enabled=1, Priority="5 - Normal", PrioritySearch="<=",
                   NodeName="*", NodeNameSearch="=", Message="*", MessageSearch="=", **DUTY)
        self.add_row("SuppGrp_Perm", **{**row, **receivers(*receiver_slots), **columns})

    def add_mail_server(self, name, port, host="127.0.0.1", **columns):
        self.add_row("Settings_Mail_SMTP", **{**dict(
            Name=name, HostAddress=host, MailPort=port, SenderAddress="varnel@example.org",
            CharSet="utf-8", MailSubject="Varnel alarm", Importance="Normal", TimeOut=10,
            MaxChar=1000, Retries=0), **columns})

    def events(self, columns="Priority, NodeName, Message"):
        return self.query(f"SELECT {columns} FROM LogFiles_Event ORDER BY rowid")

    def alarms(self, columns="Receiver, Message, SendStatus, SendStatusInt, SendType"):
        return self.query(f"SELECT {columns} FROM LogFiles_Alarm ORDER BY rowid")

    def path(self, name):
        return os.path.join(self.home, name)

    def read(self, name):
        try:
            return pathlib.Path(self.path(name)).read_text(errors="replace")
        except FileNotFoundError:
            return ""

    def syslog(self, protocol="UDP", listener=1, **columns):
        port = free_port(socket.SOCK_DGRAM if protocol == "UDP" else socket.SOCK_STREAM)
        self.set("Event_SysLog", **{f"Enabled{listener}": 1, f"Protocol{listener}": protocol,
                                    f"IpAddress{listener}": "127.0.0.1",
                                    f"ListeningPort{listener}": port}, **columns)
        return port

    def snmp_ports(self):
        self.agent_port, self.trap_port = free_port(), free_port()
        self.set("Settings_SNMP_Agent", Enabled=1, IpAddress="127.0.0.1",
                 UdpPort=self.agent_port, GetComm="public", SetComm="private")
        self.set("Event_SNMP_TrapServer", Enabled=1, IpAddress="127.0.0.1",
                 UdpPort=self.trap_port, Community="public")
        return self

    def drop(self, *lines):
        """Hands lines to the service as one Event.log, once it took the previous one."""
        path = self.path("Event.log")
        wait_until(lambda: not os.path.exists(path), what="the previous Event.log taken")
        with open(path + ".tmp", "w", encoding="utf-8") as f:
            f.write("".join(line + "\r\n" for line in lines))
        os.rename(path + ".tmp", path)

    def env(self, tick_ms=100, extra=None):
        return dict(os.environ, VARNEL_HOME=self.home, VARNEL_TICK_MS=str(tick_ms),
                    VARNEL_EVENTLOG_FILE=self.log_path, **(extra or {}))

    def run(self, *args, extra_env=None):
        return subprocess.run([VARNEL_BIN, *args], env=self.env(extra=extra_env),
                              capture_output=True, text=True, timeout=20)

    def start(self, tick_ms=100, faketime=None, wait=True, extra_env=None):
        env = self.env(tick_ms, extra_env)
        if faketime:
            lib = faketime_lib()
            if not lib:
                pytest.skip("libfaketime not installed")
            # Preloaded into the service itself (so signals reach it), after the sanitizer.
            env.update(LD_PRELOAD=lib, FAKETIME=faketime, FAKETIME_DONT_RESET="1")
            env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"),
                                                         "verify_asan_link_order=0"]))
        with open(self.stderr_path, "w") as err:
            self.proc = subprocess.Popen([VARNEL_BIN], env=env, stdout=subprocess.DEVNULL,
                                         stderr=err)
        if wait:
            wait_until(lambda: 101 in self.log() or not self.alive(), 30, "the start entry")
            assert self.alive(), self.stderr()
        return self

    def stderr(self):
        return self.read(self.stderr_path)

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def stop(self):
        """SIGTERM, and the exit code (the fixture kills a service that hangs)."""
        if self.alive():
            self.proc.send_signal(signal.SIGTERM)
            self.proc.wait(timeout=30)
        return self.proc.returncode

    def snmp(self, tool, *args, version="2c", community="public", port=None):
        cmd = [tool, f"-v{version}", "-c", community, "-On", "-r", "2", "-t", "2",
               f"{self.host}:{port or self.agent_port}", *args]
        return subprocess.run(cmd, env=TOOL_ENV, capture_output=True, text=True, timeout=30)

    def answer(self, tool, *args, **options):
        """The answer lines of one request; a failed request fails the test."""
        r = self.snmp(tool, *args, **options)
        assert r.returncode == 0, r.stderr
        return r.stdout.strip().splitlines()

    def get(self, *oids, **options):
        return self.answer("snmpget", *oids, **options)

    def snmp_set(self, oid, kind, value, community="private", **options):
        return self.answer("snmpset", oid, kind, value, community=community, **options)

    def trap(self, *args, tool="snmptrap", **options):
        self.answer(tool, *args, port=self.trap_port, **options)

    def cycle_done(self):
        """Waits for one more cycle, which sets an update request back to 2."""
        self.snmp_set(f"{P}.1.2.1.0", "i", "1")
        wait_until(lambda: self.get(f"{P}.1.2.1.0")[0].endswith("INTEGER: 2"),
                   what="the update request answered")


@pytest.fixture
def varnel(tmp_path):
    v = Varnel(tmp_path / "home")
    yield v
    if v.alive():
        v.proc.kill()
        v.proc.wait()


@pytest.fixture
def snmptrapd(tmp_path):
    """A real snmptrapd on a free port; .wait(n) gives the first n traps, a line each."""
    if not shutil.which("snmptrapd", path=SBIN_PATH):
        pytest.skip("snmptrapd not installed")
    log, conf, port = tmp_path / "snmptrapd.log", tmp_path / "snmptrapd.conf", free_port()
    conf.write_text("disableAuthorization yes\n")
    proc = subprocess.Popen(
        [shutil.which("snmptrapd", path=SBIN_PATH), "-f", "-C", "-c", str(conf), "-n", "-On",
         "-Lf", str(log), "-F", "TRAP v=%s vars=%v\n", f"udp:127.0.0.1:{port}"], env=TOOL_ENV)
    text = lambda: log.read_text() if log.exists() else ""
    wait_until(lambda: "NET-SNMP version" in text(), 10, "snmptrapd to listen")
    traps = lambda: [t for t in text().splitlines() if t.startswith("TRAP")]
    yield types.SimpleNamespace(port=port, wait=lambda n: wait_until(
        lambda: traps()[n - 1:] and traps()[:n], what=lambda: f"{n} traps in {text()}"))
    proc.terminate()
    proc.wait()


@pytest.fixture
def relay():
    """relay(user=, password=, hold=) starts an aiosmtpd relay that keeps accepted mails in
    .mails and login attempts in .logins; one that holds sets .in_data when data arrive and
    answers once .release is set."""
    controller = pytest.importorskip("aiosmtpd.controller")
    smtp = pytest.importorskip("aiosmtpd.smtp")
    started = []

    class Relay:
        def __init__(self, user=None, password=None, hold=False):
            self.port, self.mails, self.logins = free_port(socket.SOCK_STREAM), [], []
            self.secret = user and (user.encode(), password.encode())
            self.in_data, self.release = threading.Event(), threading.Event()
            if not hold:
                self.release.set()
            options = dict(authenticator=self.authenticate, auth_required=True,
                           auth_require_tls=False) if user else {}
            self.controller = controller.Controller(self, hostname="127.0.0.1",
                                                    port=self.port, **options)
            self.controller.start()
            started.append(self)

        def authenticate(self, server, session, envelope, mechanism, auth_data):
            ok = (isinstance(auth_data, smtp.LoginPassword) and
                  (auth_data.login, auth_data.password) == self.secret)
            self.logins.append((mechanism, ok))
            return smtp.AuthResult(success=ok)

        async def handle_DATA(self, server, session, envelope):
            self.in_data.set()
            await asyncio.get_running_loop().run_in_executor(None, self.release.wait, 60)
            self.mails.append(dict(sender=envelope.mail_from, rcpt=list(envelope.rcpt_tos),
                                   msg=email.message_from_bytes(
                                       envelope.content.replace(b"\r\n", b"\n"),
                                       policy=email.policy.default)))
            return "250 2.0.0 Accepted"

    yield Relay
    for r in started:
        r.release.set()
        r.controller.stop()


# Shared by several modules.

def gsm_modem(varnel, **operator):
    """The terminal on COM1 and the operator Alpha (text mode unless operator says otherwise)."""
    varnel.set("Settings_Modem", CommPort=1, ModemInitString="ATZ", ModemSpeed="9600",
               ModemSettings="n,8,1", ModemCommDelays="Short", Retries=1)
    varnel.add_row("Settings_Oper_Phone_MO", **{**dict(
        Name="Alpha", Protocol="ETSI 07.05-TEXT", TerminalNumber="+4670000",
        ModemInitString="ATZ", ModemSpeed="9600", ModemSettings="n,8,1", MaxChar=160,
        CharSet="GSM 3.38 Default"), **operator})
    return GsmSimulator(varnel.path("ports/COM1"))


class SteppedClock:
    """The service's clock, moved by rewriting libfaketime's timestamp file while it runs;
    a frozen one stands still between the steps."""

    def __init__(self, varnel, tmp_path, frozen=False):
        self.varnel, self.file, self.frozen = varnel, tmp_path / "faketime.txt", frozen

    def set(self, when):
        offset = dt.datetime.fromisoformat(when).timestamp() - time.time()
        self.file.with_suffix(".tmp").write_text(f"{when}\n" if self.frozen else f"{offset:+.0f}\n")
        os.replace(self.file.with_suffix(".tmp"), self.file)

    def start(self, when, tick_ms=50):
        self.set(when)
        asan = os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"
        self.varnel.start(tick_ms, extra_env=dict(
            LD_PRELOAD=faketime_lib(), FAKETIME_NO_CACHE="1", FAKETIME_DONT_RESET="1",
            FAKETIME_TIMESTAMP_FILE=str(self.file), FAKETIME_DONT_FAKE_MONOTONIC="1",
            ASAN_OPTIONS=asan))

    def to(self, when):
        """Moves the clock; returns once a whole cycle has run at the new time."""
        self.set(when)
        self.varnel.cycle_done()
        self.varnel.cycle_done()


def program(varnel, name, body):
    (path := pathlib.Path(varnel.path("ExecProg/" + name))).write_text("#!/bin/sh\n" + body)
    path.chmod(0o755)
