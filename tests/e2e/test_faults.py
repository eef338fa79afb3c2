"""Faults around the running service: the database locked by another program, peers that
vanish in the middle of a session, and a full file system under the program directory. The
service stays up, says what went wrong, loses nothing it accepted, and goes on once the fault
has passed."""
import os
import re
import smtplib
import socket
import socketserver
import sqlite3
import subprocess
import threading
import time

import pytest

from conftest import DUTY, gsm_modem, program, wait_rows_of, wait_until
from gsm_simulator import GsmSimulator
from test_smtp import smtp_home

LATE = re.compile(r"The (event|alarm) log was written late: \d+ (events|rows) waited while the "
                  r"database could not be written\.")


def texts(varnel):
    return [m for (m,) in varnel.query("SELECT Message FROM LogFiles_Event ORDER BY rowid")]


def send(port, *messages):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        for m in messages:
            s.sendto(f"<34>Oct 11 22:14:15 core1 {m}".encode(), ("127.0.0.1", port))


def alarm_to(varnel, table, recv_type, name, **row):
    """Every Syslog event alarms one receiver; returns the Syslog port."""
    varnel.add_row(table, Name=name, Enabled=1, **row, **DUTY)
    varnel.add_group("all", (name, recv_type))
    varnel.set("Event_CheckInterval", SendDate=0, SendTime=0, SendNodeName=0, SendPriority=0,
               SendMessage=1, SendMessageMaxChar=250)
    return varnel.syslog()


def alarm_to_program(varnel, tmp_path):
    """Alarms go to a program that appends its words to ran.txt; returns (port, ran.txt)."""
    ran = tmp_path / "ran.txt"
    program(varnel, "ran.sh", f'echo "$@" >> {ran}\n')
    return alarm_to(varnel, "Recv_Popup_NETSEND", "PopupNetSend", "RunProg ran",
                    WinAddress="ran.sh"), ran


def ran_lines(ran):
    return ran.read_text().splitlines() if ran.exists() else []


def test_events_and_alarms_while_another_program_holds_the_database_locked(varnel, tmp_path):
    port, ran = alarm_to_program(varnel.init(), tmp_path)
    varnel.start()
    holder = sqlite3.connect(varnel.path("Varnel.mdb"), timeout=10, isolation_level=None)
    holder.execute("BEGIN EXCLUSIVE")
    locked = time.monotonic()
    send(port, "fan failed")
    # The alarm goes out while the lock lasts; what is logged waits for the database.
    wait_until(lambda: ran_lines(ran) == ["fan failed"], 30, "the alarm")
    send(port, "disk failed")
    assert texts(varnel) == [] and varnel.alarms() == []
    time.sleep(max(0.0, 10 - (time.monotonic() - locked)))
    holder.execute("ROLLBACK")
    holder.close()

    assert wait_rows_of(lambda: texts(varnel), 2) == ["fan failed", "disk failed"]
    rows = wait_rows_of(varnel.alarms, 2)
    assert [r[1:4] for r in rows] == [
        (m, "NET SEND: Program executed successfully.", 1) for m in ("fan failed", "disk failed")]
    assert "[3005] database is locked (Module: UpdateEventLog)" in varnel.log(106)
    wait_until(lambda: any(LATE.fullmatch(t) for t in varnel.log(107)), what="the late entry")
    send(port, "after the lock")
    assert wait_rows_of(lambda: texts(varnel), 3)[2] == "after the lock"
    assert varnel.stop() == 0


class ScriptedServer(socketserver.ThreadingTCPServer):
    """A loopback server whose first `cuts` sessions vanish at a point of the dialogue; the
    handler's session() runs each, knowing whether to vanish."""
    daemon_threads = allow_reuse_address = True

    def __init__(self, cuts, session):
        self.cuts, self.sessions, self.done, self.lock = cuts, 0, [], threading.Lock()
        outer = self

        class Handler(socketserver.StreamRequestHandler):
            def handle(self):
                with outer.lock:
                    outer.sessions += 1
                    vanish = outer.sessions <= outer.cuts
                try:
                    session(outer, self, vanish)
                except (ConnectionError, OSError):
                    pass

        super().__init__(("127.0.0.1", 0), Handler)
        self.port = self.server_address[1]
        threading.Thread(target=self.serve_forever, daemon=True).start()


def reply(handler, text):
    handler.wfile.write(text.encode() + b"\r\n")


def smtp_session(server, h, vanish):
    reply(h, "220 relay ready")
    mail = b""
    while line := h.rfile.readline():
        verb = line[:4].upper()
        if verb == b"DATA":
            reply(h, "354 go ahead")
            if vanish:  # half the mail, then gone
                h.rfile.readline()
                return
            while (line := h.rfile.readline()) not in (b".\r\n", b""):
                mail += line
            server.done.append(mail.decode())
            reply(h, "250 queued")
        elif verb == b"QUIT":
            return reply(h, "221 bye")
        else:
            reply(h, "250 ok")


def test_relay_vanishing_during_data_fails_the_alarm_and_the_next_gets_through(varnel):
    relay = ScriptedServer(2, smtp_session)  # both attempts of the first alarm vanish
    varnel.init().add_mail_server("Relay", relay.port, Retries=1)
    varnel.set("Settings_General", DebugMode="Debug All")
    port = alarm_to(varnel, "Recv_Mail_SMTP", "MailSMTP", "Ops", MailServer1="Relay",
                    MailAddress="ops@example.org")
    varnel.start()
    send(port, "link down")
    (first,) = wait_rows_of(varnel.alarms, 1, timeout=60)
    assert first[3] == 3 and re.fullmatch(r"SMTP: Error when sending message\. Error: \d+",
                                          first[2]), first
    assert relay.sessions == 2 and relay.done == []
    send(port, "link up")
    second = wait_rows_of(varnel.alarms, 2, timeout=60)[1]
    assert second[1:4] == ("link up", "SMTP: Message sent successfully.", 1)
    assert len(relay.done) == 1 and "link up" in relay.done[0]
    assert varnel.alive()
    assert varnel.stop() == 0
    assert "* Result " in varnel.read("Debug/SendMailSMTP.txt")
    relay.shutdown()


class VanishingGsm(GsmSimulator):
    """A terminal that stops answering, as if unplugged, once asked to send a message."""

    def __init__(self, link):
        super().__init__(link)
        self.asked = threading.Event()

    def _command(self, cmd):
        if cmd.upper().startswith("AT+CMGS="):
            self.commands.append(cmd)
            self.asked.set()
            return
        super()._command(cmd)


def test_modem_vanishing_at_the_message_fails_the_alarm_and_the_next_gets_through(varnel):
    gsm_modem(varnel.init())
    varnel.set("Settings_General", DebugMode="Modem Communication")
    port = alarm_to(varnel, "Recv_Phone_MO", "PhoneMO", "Ops", PhoneNumber="46700",
                    Operator="Alpha")
    gone = VanishingGsm(varnel.path("ports/COM1"))
    with gone:
        varnel.start()
        send(port, "link down")
        assert gone.asked.wait(60), gone.commands
    # The terminal's side of the line is closed under the service.
    (failed,) = wait_rows_of(varnel.alarms, 1, timeout=60)
    assert failed[2:4] == ('MO-SMS: Error when sending AT+CMGS="+46700"<CR> to MS.', 3)
    assert any(t.startswith("[") and "(Module: WaitForResponse)" in t for t in varnel.log(106))
    trace = varnel.read("Debug/Modem_Communication.txt")
    assert " --> Error." in trace and trace.rstrip().endswith("Set DTR to False --> OK.")

    with GsmSimulator(varnel.path("ports/COM1")) as back:
        send(port, "link up")
        rows = wait_rows_of(varnel.alarms, 2, timeout=60)
        assert rows[1][1:4] == ("link up", "ALPHA[SS=17]: Message sent to receiver.", 1)
        assert [s["text"] for s in back.sent] == ["link up"]
    assert varnel.stop() == 0


def ftp_session(root):
    """A passive-mode FTP server storing into root; a vanishing session closes both
    connections after the first bytes of the first STOR."""
    def session(server, h, vanish):
        reply(h, "220 ftp ready")
        data = None
        while line := h.rfile.readline():
            verb, _, arg = line.decode().strip().partition(" ")
            verb = verb.upper()
            if verb == "USER":
                reply(h, "331 password please")
            elif verb == "PASS":
                reply(h, "230 logged in")
            elif verb == "PWD":
                reply(h, '257 "/"')
            elif verb == "EPSV":
                data = socket.create_server(("127.0.0.1", 0))
                reply(h, f"229 passive (|||{data.getsockname()[1]}|)")
            elif verb == "STOR":
                reply(h, "150 go ahead")
                conn, _ = data.accept()
                with conn:
                    if vanish:
                        conn.recv(10)
                        data.close()
                        return
                    body = b"".join(iter(lambda: conn.recv(65536), b""))
                data.close()
                with open(os.path.join(root, os.path.basename(arg)), "wb") as f:
                    f.write(body)
                server.done.append(os.path.basename(arg))
                reply(h, "226 stored")
            elif verb == "QUIT":
                return reply(h, "221 bye")
            elif verb in ("CWD", "TYPE"):
                reply(h, "250 ok" if verb == "CWD" else "200 ok")
            else:
                reply(h, "502 not here")
    return session


def test_ftp_server_vanishing_during_an_upload_is_reported_and_the_next_upload_completes(
        varnel, tmp_path):
    (root := tmp_path / "ftp").mkdir()
    server = ScriptedServer(1, ftp_session(root))
    port, ran = alarm_to_program(varnel.init(), tmp_path)
    varnel.set("LogFiles_WebServer", TransferLogFiles=1, FtpServer="127.0.0.1",
               FtpPort=server.port, UserName="peer", Password2="pw", PassiveTransfer=1,
               TransferMode="Binary", TimeOut=10, Retries=1, RemoteDir="pages")
    varnel.start()
    send(port, "link down")
    entry = wait_until(lambda: [t for t in varnel.log(106) if "(Module: FtpDo" in t], 60,
                       lambda: f"an FTP entry in {varnel.log()}")
    assert entry[0].startswith("[") and "Put Failed" in entry[0], entry
    assert server.done == []
    send(port, "link up")  # a new alarm log row: the pages are uploaded again
    wait_until(lambda: len(server.done) == 4, 60, lambda: f"four pages, have {server.done}")
    for page in server.done:
        assert (root / page).read_bytes() == open(varnel.path("Web/" + page), "rb").read()
    assert varnel.alive()
    assert varnel.stop() == 0
    server.shutdown()


@pytest.fixture
def small_fs(tmp_path):
    """A 8 MiB tmpfs at tmp_path/fs; .fill() takes all its free space, .free() gives it back."""
    if os.geteuid() != 0:
        pytest.skip("mounting a small file system needs root")
    (mnt := tmp_path / "fs").mkdir()
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=8m", "tmpfs", str(mnt)], check=True)
    filler = mnt / "filler"

    class Fs:
        path = mnt

        @staticmethod
        def fill():
            with open(filler, "wb") as f:
                try:
                    while True:
                        f.write(b"\0" * 65536)
                        f.flush()
                except OSError:
                    pass

        @staticmethod
        def free():
            filler.unlink()
    yield Fs
    subprocess.run(["umount", "-l", str(mnt)], check=False)


def test_full_file_system_keeps_accepted_events_until_there_is_room(varnel, small_fs, tmp_path):
    varnel.home = str(small_fs.path / "home")  # the event log copy stays outside
    smtp_port = smtp_home(varnel)
    port, ran = alarm_to_program(varnel, tmp_path)
    varnel.set("Settings_General", DebugMode="Debug All")

    def mail(subject):
        with smtplib.SMTP("127.0.0.1", smtp_port, timeout=20) as client:
            client.sendmail("ups@example.org", ["alarm@example.org"],
                            f"Subject: {subject}\r\n\r\nbody\r\n")

    varnel.start()
    small_fs.fill()
    send(port, "fan failed")
    wait_until(lambda: ran_lines(ran) == ["fan failed"], 30, "the alarm while full")
    send(port, "disk failed")
    wait_until(lambda: len(ran_lines(ran)) == 2, 30, "the second alarm while full")
    # A mail that cannot be stored is not accepted: the sender keeps it.
    with pytest.raises(smtplib.SMTPDataError) as refused:
        mail("ups 2 battery-low")
    assert refused.value.smtp_code == 451
    entries = varnel.log(106)
    assert "[3013] database or disk is full (Module: UpdateEventLog)" in entries
    assert any(t.endswith("(Module: WriteSmtpMailEventsToEventLog)") for t in entries)
    assert texts(varnel) == []  # not logged, and not said to be

    small_fs.free()
    assert wait_rows_of(lambda: texts(varnel), 2) == ["fan failed", "disk failed"]
    assert [r[1] for r in wait_rows_of(varnel.alarms, 2)] == ["fan failed", "disk failed"]
    wait_until(lambda: len([t for t in varnel.log(107) if LATE.fullmatch(t)]) == 2,
               what=lambda: f"both late entries in {varnel.log(107)}")
    mail("ups 2 battery-low")
    send(port, "room again")
    assert sorted(wait_rows_of(lambda: texts(varnel), 4)[2:]) == ["battery-low", "room again"]
    assert varnel.alive()
    assert varnel.stop() == 0
