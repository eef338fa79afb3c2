"""Delivery on the real binary: alarms mailed through aiosmtpd relays on loopback, relays that
fail, AUTH LOGIN, and RUNPROG receivers that start programs."""
import base64
import email
import os
import re
import socket
import threading
import time
from email import policy

import pytest
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword
from conftest import wait_rows_of

ALL_DAY = 16777215
SMTP_ERROR = re.compile(r"^SMTP: Error when sending message\. Error: (\d+)$")


def free_port(kind=socket.SOCK_STREAM):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Relay:
    """aiosmtpd on 127.0.0.1; keeps every accepted mail with the moment it was accepted."""

    def __init__(self, user=None, password=None):
        self.port = free_port()
        self.mails = []
        self.logins = []
        self.user, self.password = user, password
        options = {}
        if user:
            options = dict(authenticator=self.authenticate, auth_required=True,
                           auth_require_tls=False)
        self.controller = Controller(self, hostname="127.0.0.1", port=self.port, **options)

    def authenticate(self, server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == self.user.encode()
              and auth_data.password == self.password.encode())
        self.logins.append((mechanism, ok))
        return AuthResult(success=ok)

    async def handle_DATA(self, server, session, envelope):
        self.mails.append(dict(at=time.monotonic(), sender=envelope.mail_from,
                               rcpt=list(envelope.rcpt_tos),
                               msg=email.message_from_bytes(
                                   envelope.content.replace(b"\r\n", b"\n"),
                                   policy=policy.default)))
        return "250 2.0.0 Accepted"

    def wait(self, n, timeout=20):
        deadline = time.monotonic() + timeout
        while len(self.mails) < n and time.monotonic() < deadline:
            time.sleep(0.02)
        assert len(self.mails) >= n, f"relay has {len(self.mails)} mails, expected {n}"
        return self.mails

    def __enter__(self):
        self.controller.start()
        return self

    def __exit__(self, *exc):
        self.controller.stop()


class DeadRelay:
    """Accepts connections on 127.0.0.1 and drops them at once, counting them."""

    def __init__(self):
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(8)
        self.port = self.sock.getsockname()[1]
        self.connections = 0
        threading.Thread(target=self._run, daemon=True).start()

    def _run(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            self.connections += 1
            conn.close()

    def close(self):
        self.sock.close()


def insert(con, table, **columns):
    names = ", ".join(f'"{c}"' for c in columns)
    marks = ", ".join("?" for _ in columns)
    con.execute(f'INSERT INTO "{table}" ({names}) VALUES ({marks})', tuple(columns.values()))


def on_duty():
    return {f"DutyTime{d}": ALL_DAY for d in ("Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun")}


def mail_server(name, host, port, **more):
    row = dict(Name=name, HostAddress=host, MailPort=port, SenderAddress="varnel@example.org",
               CharSet="utf-8", MailSubject="Varnel alarm", Importance="Normal", TimeOut=10,
               MaxChar=1000, Retries=0)
    row.update(more)
    return row


def mail_receiver(name, server, address=None, **more):
    row = dict(Name=name, Enabled=1, MailAddress=f"{name.lower()}@example.org"
               if address is None else address, MailServer1=server, **on_duty())
    row.update(more)
    return ("Recv_Mail_SMTP", row)


def configure(varnel, servers=(), receivers=(), check_interval=5, **check_columns):
    """A Syslog listener, one support group per five receivers (every event matches), the
    mail servers and the receivers. Returns the Syslog port."""
    varnel.init()
    port = free_port(socket.SOCK_DGRAM)
    varnel.set("Event_SysLog", Enabled1=1, Protocol1="UDP", IpAddress1="127.0.0.1",
               ListeningPort1=port)
    varnel.set("Event_CheckInterval", CheckInterval=check_interval, **check_columns)
    with varnel.db() as con:
        for s in servers:
            insert(con, "Settings_Mail_SMTP", **s)
        for table, row in receivers:
            insert(con, table, **row)
        for g in range(0, len(receivers), 5):
            slots = receivers[g:g + 5]
            group = dict(Name=f"group{g // 5 + 1}", Enabled=1, Priority="5 - Normal",
                         PrioritySearch="<=", NodeName="*", NodeNameSearch="=", Message="*",
                         MessageSearch="=", **on_duty())
            for k in range(5):
                group[f"RecvName{k + 1}"] = slots[k][1]["Name"] if k < len(slots) else "None"
                group[f"RecvType{k + 1}"] = ({"Recv_Mail_SMTP": "MailSMTP",
                                              "Recv_Popup_NETSEND": "PopupNetSend"}
                                             [slots[k][0]] if k < len(slots) else "")
            insert(con, "SuppGrp_Perm", **group)
    return port


def send_syslog(port, text):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.sendto(text.encode(), ("127.0.0.1", port))


def alarm_rows(varnel):
    return varnel.query("SELECT Receiver, Message, SendStatus, SendStatusInt, SendType "
                        "FROM LogFiles_Alarm ORDER BY rowid")


def wait_alarm_rows(varnel, n, timeout=30):
    return wait_rows_of(lambda: alarm_rows(varnel), n, timeout)


def composed_text(varnel):
    """The alarm text of the first logged event, as the default format composes it."""
    when, priority, node, message = varnel.query(
        "SELECT DateAndTime, Priority, NodeName, Message FROM LogFiles_Event ORDER BY rowid")[0]
    return f"{when[:10]}, {when[11:19]}, {node}, {priority}, {message}"


def test_syslog_alarm_is_mailed_within_one_cycle(varnel):
    with Relay() as relay:
        port = configure(varnel, [mail_server("Relay1", "127.0.0.1", relay.port,
                                              Importance="High")],
                         [mail_receiver("Ops", "Relay1")])
        # Real five-second ticks: the alarm waits for the next cycle, as in service.
        varnel.start(tick_ms=5000)
        sent = time.monotonic()
        send_syslog(port, "<34>Oct 11 22:14:15 mymachine su: 'su root' failed")
        mail = relay.wait(1, timeout=15)[0]
        assert mail["at"] - sent <= 5 + 2

        text = composed_text(varnel)
        assert text.endswith(", 127.0.0.1, 2 - Major, su: 'su root' failed")
        msg = mail["msg"]
        assert msg.get_content().rstrip("\n") == text
        assert msg["Subject"] == "Varnel alarm"
        assert msg["X-Priority"] == "1"
        assert msg["From"] == "varnel@example.org"
        assert msg["To"].addresses[0].addr_spec == "ops@example.org"
        assert msg["To"].addresses[0].display_name == "Ops"
        assert msg["Date"].datetime is not None
        assert re.fullmatch(r"<[^<>@\s]+@example\.org>", msg["Message-ID"])
        assert (mail["sender"], mail["rcpt"]) == ("varnel@example.org", ["ops@example.org"])

        rows = wait_alarm_rows(varnel, 1)
        assert rows == [("Ops", text, "SMTP: Message sent successfully.", 1, "MailSMTP")]
        assert varnel.stop() == 0


def test_failing_relays_unknown_servers_and_bad_rows(varnel):
    dead = DeadRelay()
    with Relay() as relay:
        servers = [
            mail_server("Dead", "127.0.0.1", dead.port, Retries=1),
            # The secondary's row gives only its host; the port is the primary's.
            mail_server("Relay1", "127.0.0.2", relay.port),
            mail_server("Relay2", "127.0.0.1", 1),
            mail_server("Direct", "127.0.0.1", relay.port, MaxChar=0,
                        MailSubject="The Message (max 100 chr)", Importance="Urgent"),
            mail_server("Nowhere", "relay.invalid", relay.port),
            mail_server("Negative", "127.0.0.1", relay.port, MaxChar=-1),
        ]
        receivers = [
            mail_receiver("Down", "Dead"),
            mail_receiver("Fallback", "Relay1", MailServer2="Relay2", UseMailServer2=1),
            mail_receiver("Unknown", "NoSuchServer"),
            mail_receiver("NoAddress", "Direct", address=""),
            mail_receiver("EmptyBody", "Direct"),
            mail_receiver("Unresolvable", "Nowhere"),
            mail_receiver("NegativeMax", "Negative"),
        ]
        port = configure(varnel, servers, receivers)
        varnel.start()
        send_syslog(port, "<11>Oct 11 22:14:15 core1 link down")
        rows = {r[0]: r for r in wait_alarm_rows(varnel, len(receivers))}

        assert rows["Down"][3] == 3 and SMTP_ERROR.match(rows["Down"][2])
        assert dead.connections == 2  # Retries 1: two attempts

        assert rows["Fallback"][2:4] == ("SMTP: Message sent successfully.", 1)
        assert rows["Unknown"][2:4] == ("MailServer not found in database.", 3)
        assert rows["NoAddress"][2:4] == ("SMTP: Error when sending message. Error: 3", 3)
        assert rows["EmptyBody"][2:4] == ("SMTP: Message sent successfully.", 1)
        assert rows["Unresolvable"][2:4] == ("SMTP: Error when sending message. Error: 6", 3)
        assert rows["NegativeMax"][2:4] == ("ERROR: Module SendMailSMTP", 3)
        assert any("(Module: SendMailSMTP)" in t for t in varnel.log.texts(106))

        mails = {m["rcpt"][0]: m["msg"] for m in relay.mails}
        assert sorted(mails) == ["emptybody@example.org", "fallback@example.org"]
        empty = mails["emptybody@example.org"]
        assert empty.get_content().strip() == ""
        assert empty["Subject"] == composed_text(varnel)[:100]
        assert empty["X-Priority"] is None
        assert varnel.alive()
        assert varnel.stop() == 0
    dead.close()


@pytest.mark.filterwarnings("ignore:Requiring AUTH while not requiring TLS")
def test_auth_login(varnel):
    with Relay(user="varnel", password="s3cret") as relay:
        auth = dict(UseAuth=1, AuthMode="AUTH LOGIN", Account="varnel")
        port = configure(varnel,
                         [mail_server("Auth", "127.0.0.1", relay.port, Passw="s3cret", **auth),
                          mail_server("WrongPw", "127.0.0.1", relay.port, Passw="wrong", **auth)],
                         [mail_receiver("Good", "Auth"), mail_receiver("Bad", "WrongPw")])
        varnel.set("Settings_General", DebugMode="Debug All")
        varnel.start()
        send_syslog(port, "<11>Oct 11 22:14:15 core1 link down")
        rows = {r[0]: r for r in wait_alarm_rows(varnel, 2)}
        assert rows["Good"][2:4] == ("SMTP: Message sent successfully.", 1)
        assert rows["Bad"][3] == 3 and SMTP_ERROR.match(rows["Bad"][2])
        assert relay.logins == [("LOGIN", True), ("LOGIN", False)]
        assert [m["rcpt"] for m in relay.mails] == [["good@example.org"]]
        assert varnel.stop() == 0

    session = open(varnel.path("Debug/SendMailSMTP.txt"), encoding="utf-8").read()
    assert "AUTH LOGIN" in session and "250 2.0.0 Accepted" in session
    for secret in ("s3cret", "wrong"):
        assert secret not in session
        assert base64.b64encode(secret.encode()).decode() not in session


def test_one_mail_per_event(varnel):
    with Relay() as relay:
        configure(varnel, [mail_server("Relay1", "127.0.0.1", relay.port)],
                  [mail_receiver("Ops", "Relay1")], OneMessOneEvent=1, MaxMessages=2,
                  SendDate=0, SendTime=0, SendPriority=0)
        varnel.start()
        lines = [f"2026-01-05 10:00:0{i}\t2 - Major\tsw{i}\tport {i} down" for i in range(3)]
        with open(varnel.path("Event.log.tmp"), "w") as f:
            f.write("\r\n".join(lines) + "\r\n")
        os.rename(varnel.path("Event.log.tmp"), varnel.path("Event.log"))
        rows = wait_alarm_rows(varnel, 2)
        time.sleep(1.5)
        assert [r[1] for r in alarm_rows(varnel)] == ["sw0, port 0 down", "sw1, port 1 down"]
        assert [m["msg"].get_content().strip() for m in relay.wait(2)] == [
            "sw0, port 0 down", "sw1, port 1 down"]
        assert rows[0][3] == 1
        assert varnel.stop() == 0


def test_runprog_receivers_and_popups(varnel, tmp_path):
    out, pids, planted = tmp_path / "argv.txt", tmp_path / "pids.txt", tmp_path / "planted"
    popup = lambda name, address: ("Recv_Popup_NETSEND",
                                   dict(Name=name, Enabled=1, WinAddress=address, **on_duty()))
    port = configure(varnel, receivers=[popup("RunProg argv", "argv.sh"),
                                        popup("RunProg sleeper", "sleeper.sh"),
                                        popup("RunProg missing", "missing.sh"),
                                        popup("Desk", "nosuchvarneluser")])
    scripts = {
        "argv.sh": f'for a in "$@"; do echo "$a" >> {out}; done',
        "sleeper.sh": f"sleep 30 &\necho $$ $! > {pids}\nwait",
    }
    for name, body in scripts.items():
        path = varnel.path(f"ExecProg/{name}")
        with open(path, "w") as f:
            f.write("#!/bin/sh\n" + body + "\n")
        os.chmod(path, 0o755)
    varnel.start()
    send_syslog(port, f"<11>Oct 11 22:14:15 core1 link down; touch {planted}")

    deadline = time.monotonic() + 20
    while not (pids.exists() and pids.read_text().strip()) and time.monotonic() < deadline:
        time.sleep(0.02)
    started = time.monotonic()
    varnel.log.wait_for(106, "sleeper.sh killed.", timeout=20)
    assert 10 <= time.monotonic() - started <= 14

    rows = {r[0]: r for r in wait_alarm_rows(varnel, 4, timeout=30)}
    text = composed_text(varnel)
    # One argument per blank-separated word; the shell never saw them.
    assert out.read_text().split("\n")[:-1] == text.split()
    assert not planted.exists()
    ok = ("NET SEND: Program executed successfully.", 1)
    assert rows["RunProg argv"][2:4] == ok
    assert rows["RunProg sleeper"][2:4] == ok  # stopped after the limit, but it did start
    assert rows["RunProg missing"][2:4] == ("NET SEND: Error [0] when executing the program.", 3)
    assert rows["Desk"][2:4] == (
        "NET SEND: Error [The user name could not be found] when sending the message.", 3)
    assert rows["Desk"][4] == "PopupNetSend"

    killed = [t for t in varnel.log.texts(106) if "killed." in t]
    assert killed == [f"[258] sleeper.sh killed. (Module: RunExecProg: sleeper.sh {text})"]
    assert "[0] (Module: RunExecProg: missing.sh could not be found)" in varnel.log.texts(106)
    # The program and what it started are gone.
    for pid in pids.read_text().split():
        stat = f"/proc/{pid}/stat"
        assert not os.path.exists(stat) or open(stat).read().split()[2] == "Z"
    assert varnel.stop() == 0
