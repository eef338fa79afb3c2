"""End-to-end harness: a program directory, the real service running in it, the peers it
talks to (net-snmp tools, snmptrapd, an aiosmtpd relay) and one polling helper.

Every port comes from free_port() and every file from tmp_path, so modules can run side by
side. A missing optional peer skips only the tests that use it."""
import asyncio
import email
import email.policy
import glob
import importlib.util
import os
import shutil
import signal
import socket
import sqlite3
import subprocess
import threading
import time

import pytest

VARNEL_BIN = os.environ.get("VARNEL_BIN", "build-test/varnel")
ADMIN_BIN = os.environ.get("VARNEL_ADMIN_BIN", "build-test/varnel-admin")
P = "1.3.6.1.4.1.99412.1.10"  # the private arc of the agent and of the traps
ALL_DAY = 16777215
DUTY = {f"DutyTime{d}": ALL_DAY for d in ("Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun")}
# The net-snmp tools read no MIB files, so every OID is printed numerically.
TOOL_ENV = dict(os.environ, MIBS="", MIBDIRS="/nonexistent")
SBIN_PATH = os.environ.get("PATH", "/usr/bin:/bin") + ":/usr/sbin:/sbin"


def free_port(kind=socket.SOCK_DGRAM):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(check, timeout=20, what="the condition"):
    """Polls check() until it gives a true value and returns that value. what (a text, or a
    function giving one) says in the failure what was awaited."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = check()
        if value:
            return value
        time.sleep(0.05)
    value = check()
    assert value, f"timed out after {timeout}s waiting for {what() if callable(what) else what}"
    return value


def wait_rows_of(query, n, timeout=20):
    """Polls query() until it returns at least n rows."""
    wait_until(lambda: len(query()) >= n, timeout, lambda: f"{n} rows, have {query()}")
    return query()


def faketime_lib():
    """The preloadable libfaketime of this machine, or None."""
    found = glob.glob("/usr/lib/*/faketime/libfaketime.so.1")
    if not found and shutil.which("dpkg"):
        listing = subprocess.run(["dpkg", "-L", "libfaketime"], capture_output=True, text=True)
        found = [p for p in listing.stdout.split() if p.endswith("/libfaketime.so.1")]
    return found[0] if found else None


def needs(*programs, modules=(), faketime=False):
    """Skips a test when one of the peers it drives is not installed."""
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


class EventLogCopy:
    """The VARNEL_EVENTLOG_FILE copy: one entry a line, time TAB type TAB id TAB text."""

    def __init__(self, path):
        self.path = path

    def entries(self):
        if not os.path.exists(self.path):
            return []
        with open(self.path, encoding="utf-8", errors="replace") as f:
            parts = [line.rstrip("\n").split("\t", 3) for line in f]
        return [(p[0], int(p[1]), int(p[2]), p[3]) for p in parts if len(p) == 4]

    def ids(self):
        return [e[2] for e in self.entries()]

    def texts(self, event_id):
        return [e[3] for e in self.entries() if e[2] == event_id]


class Varnel:
    """One program directory and, once started, the service process running in it."""

    def __init__(self, home):
        self.home = str(home)
        self.log = EventLogCopy(self.home + "-eventlog.txt")
        self.stderr_path = self.home + "-stderr.txt"
        self.proc = None
        self.agent_port = self.trap_port = None

    def init(self, demo=False):
        """Lays out the program directory, with a cycle every five ticks."""
        args = [ADMIN_BIN, "init", self.home] + (["--demo"] if demo else [])
        subprocess.run(args, check=True, capture_output=True, text=True)
        self.set("Event_CheckInterval", CheckInterval=5)
        return self

    # The database, as the administration program edits it.
    def query(self, sql, *params):
        with sqlite3.connect(self.path("Varnel.mdb"), timeout=10) as con:
            return con.execute(sql, params).fetchall()

    def set(self, table, **columns):
        """Sets columns of every row of a (single-row) table."""
        self.query(f'UPDATE "{table}" SET ' + ", ".join(f'"{k}" = ?' for k in columns),
                   *columns.values())

    def add_row(self, table, **columns):
        self.query(f'INSERT INTO "{table}" (' + ", ".join(f'"{k}"' for k in columns) +
                   ") VALUES (" + ", ".join("?" * len(columns)) + ")", *columns.values())

    def add_group(self, name, *receiver_slots, **columns):
        """Adds an enabled support group on duty all week that takes every event unless the
        columns say otherwise; receiver_slots are (name, type) pairs."""
        row = dict(Name=name, Enabled=1, Priority="5 - Normal", PrioritySearch="<=",
                   NodeName="*", NodeNameSearch="=", Message="*", MessageSearch="=", **DUTY)
        self.add_row("SuppGrp_Perm", **{**row, **receivers(*receiver_slots), **columns})

    def add_mail_server(self, name, port, host="127.0.0.1", **columns):
        """Adds an outgoing mail server without login unless the columns say otherwise."""
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
        """The text of a file of the program directory; "" while there is none."""
        try:
            with open(self.path(name), encoding="utf-8", errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    # Inputs.
    def syslog(self, protocol="UDP", listener=1, **columns):
        """Enables a Syslog listener on a free loopback port and returns the port."""
        port = free_port(socket.SOCK_DGRAM if protocol == "UDP" else socket.SOCK_STREAM)
        self.set("Event_SysLog", **{f"Enabled{listener}": 1, f"Protocol{listener}": protocol,
                                    f"IpAddress{listener}": "127.0.0.1",
                                    f"ListeningPort{listener}": port}, **columns)
        return port

    def snmp_ports(self):
        """Enables the agent and the trap server on free loopback ports."""
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

    # The process.
    def env(self, tick_ms=100, extra=None):
        env = dict(os.environ, VARNEL_HOME=self.home, VARNEL_TICK_MS=str(tick_ms),
                   VARNEL_EVENTLOG_FILE=self.log.path)
        env.update(extra or {})
        return env

    def run(self, *args, extra_env=None, timeout=20):
        """Runs the binary with a command-line option and returns the finished process."""
        return subprocess.run([VARNEL_BIN, *args], env=self.env(extra=extra_env),
                              capture_output=True, text=True, timeout=timeout)

    def start(self, tick_ms=100, faketime=None, wait=True, extra_env=None):
        env = self.env(tick_ms, extra_env)
        if faketime:
            lib = faketime_lib()
            if not lib:
                pytest.skip("libfaketime not installed")
            # Preloaded into the service itself, so that signals reach it; the sanitizer
            # runtime must then not insist on coming first.
            env.update(LD_PRELOAD=lib, FAKETIME=faketime, FAKETIME_DONT_RESET="1")
            env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"),
                                                         "verify_asan_link_order=0"]))
        with open(self.stderr_path, "w") as err:
            self.proc = subprocess.Popen([VARNEL_BIN], env=env, stdout=subprocess.DEVNULL,
                                         stderr=err)
        if wait:
            wait_until(lambda: 101 in self.log.ids() or not self.alive(), 30, "the start entry")
            assert self.alive(), self.stderr()
        return self

    def stderr(self):
        with open(self.stderr_path, errors="replace") as f:
            return f.read()

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def stop(self, timeout=30):
        """Stops the service with SIGTERM and returns its exit code."""
        if not self.alive():
            return self.proc.returncode if self.proc else None
        self.proc.send_signal(signal.SIGTERM)
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise

    # The net-snmp tools against this service.
    def snmp(self, tool, *args, version="2c", community="public"):
        cmd = [tool, f"-v{version}", "-c", community, "-On", "-r", "2", "-t", "2",
               f"127.0.0.1:{self.agent_port}"]
        return subprocess.run(cmd + list(args), env=TOOL_ENV, capture_output=True, text=True,
                              timeout=30)

    def answer(self, tool, *args, **options):
        """The answer lines of one request; a failed request fails the test."""
        r = self.snmp(tool, *args, **options)
        assert r.returncode == 0, r.stderr
        return r.stdout.strip().splitlines()

    def get(self, *oids, **options):
        return self.answer("snmpget", *oids, **options)

    def snmp_set(self, oid, kind, value, community="private", **options):
        return self.answer("snmpset", oid, kind, value, community=community, **options)

    def trap(self, *args, version="2c", community="public", tool="snmptrap"):
        cmd = [tool, f"-v{version}", "-c", community, "-r", "1", "-t", "3",
               f"127.0.0.1:{self.trap_port}"]
        r = subprocess.run(cmd + list(args), env=TOOL_ENV, capture_output=True, text=True,
                           timeout=30)
        assert r.returncode == 0, r.stderr

    def cycle_done(self, timeout=20):
        """Waits for one more cycle: the next cycle answers an update request set through
        the agent by setting it back to 2."""
        self.snmp_set(f"{P}.1.2.1.0", "i", "1")
        return wait_until(lambda: self.get(f"{P}.1.2.1.0")[0].endswith("INTEGER: 2"), timeout,
                          "the update request answered")


@pytest.fixture
def varnel(tmp_path):
    v = Varnel(tmp_path / "home")
    yield v
    if v.alive():
        v.proc.kill()
        v.proc.wait()


class TrapSink:
    """A real snmptrapd on a free loopback port, logging every trap in one line."""

    def __init__(self, tmp_path):
        self.port = free_port()
        self.log = tmp_path / "snmptrapd.log"
        conf = tmp_path / "snmptrapd.conf"
        conf.write_text("disableAuthorization yes\n")
        self.proc = subprocess.Popen(
            [shutil.which("snmptrapd", path=SBIN_PATH), "-f", "-C", "-c", str(conf), "-n",
             "-On", "-Lf", str(self.log),
             "-F", "TRAP v=%s ent=%N specific=%q agent=%a vars=%v\n", f"udp:127.0.0.1:{self.port}"],
            env={"MIBS": "", "MIBDIRS": "/nonexistent", "PATH": "/usr/bin:/bin"})
        wait_until(lambda: self.log.exists() and "NET-SNMP version" in self.log.read_text(),
                   10, "snmptrapd to listen")

    def wait(self, n, timeout=20):
        """Waits for n traps and returns the lines of all traps received."""
        def traps():
            lines = [t for t in self.log.read_text().splitlines() if t.startswith("TRAP")]
            return len(lines) >= n and lines
        return wait_until(traps, timeout, lambda: f"{n} traps in {self.log.read_text()}")


@pytest.fixture
def snmptrapd(tmp_path):
    if not shutil.which("snmptrapd", path=SBIN_PATH):
        pytest.skip("snmptrapd not installed")
    sink = TrapSink(tmp_path)
    yield sink
    sink.proc.terminate()
    sink.proc.wait()


@pytest.fixture
def relay():
    """Starts aiosmtpd relays on loopback: relay(user=, password=, hold=) gives one that keeps
    every accepted mail in .mails and every login attempt in .logins. A holding relay sets
    .in_data when a mail's data arrive and answers only once .release is set."""
    controller = pytest.importorskip("aiosmtpd.controller")
    smtp = pytest.importorskip("aiosmtpd.smtp")
    started = []

    class Relay:
        def __init__(self, user=None, password=None, hold=False):
            self.port, self.mails, self.logins = free_port(socket.SOCK_STREAM), [], []
            self.user, self.password = user, password
            self.in_data, self.release = threading.Event(), threading.Event()
            if not hold:
                self.release.set()
            options = dict(authenticator=self.authenticate, auth_required=True,
                           auth_require_tls=False) if user else {}
            self.controller = controller.Controller(self, hostname="127.0.0.1",
                                                    port=self.port, **options)

        def authenticate(self, server, session, envelope, mechanism, auth_data):
            ok = (isinstance(auth_data, smtp.LoginPassword) and
                  (auth_data.login, auth_data.password) ==
                  (self.user.encode(), self.password.encode()))
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

    def start(**credentials):
        r = Relay(**credentials)
        r.controller.start()
        started.append(r)
        return r

    yield start
    for r in started:
        r.release.set()
        r.controller.stop()
