"""SMTP intake: swaks and raw sockets against the listener; the mails' events in the event log
and at an aiosmtpd relay; bounds and refusals."""
import base64
import os
import socket
import subprocess

from conftest import DUTY, free_port, needs, wait_rows_of, wait_until

GREETING = b"220 Varnel SMTP Server ready\r\n"
ACCEPTED = b"250 <123> Mail accepted\r\n"
TOO_BIG = b"552 Requested mail action aborted: exceeded storage allocation\r\n"
TRACE = "Debug/Event_SmtpMail.txt"


def smtp_home(varnel, **columns):  # the SMTP listener on a free loopback port
    varnel.init()
    port = free_port(socket.SOCK_STREAM)
    with open(varnel.path("Varnel.ini"), "w") as f:
        f.write("SMTPSERVERMULTIHOMED=1\r\n")  # bind the configured address, not all
    varnel.set("Event_SMTP", Enabled=1, IpAddress="127.0.0.1", TcpPort=port,
               **{"AccessListIp": "*", "AccessListFrom": "*", **columns})
    varnel.set("Settings_General", DebugMode="Event Sources")
    return port


class Client:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=20)
        self.send, self.reader = self.sock.sendall, self.sock.makefile("rb")

    def lines(self, n):
        """The next n reply lines with their line ends; fewer when the server closes."""
        return [line for line in (self.reader.readline() for _ in range(n)) if line]


def start(varnel):
    varnel.start()
    wait_until(lambda: "SMTP Server Started" in varnel.query("SELECT Status FROM Event_SMTP")[0][0],
               what="the SMTP listener started")


def swaks_data(port, tmp_path, data, sender="ops@example.org", to="alarm@varnel.example"):
    (path := tmp_path / "mail.eml").write_bytes(data.encode())
    r = subprocess.run(["swaks", "--server", f"127.0.0.1:{port}", f"--from={sender}", f"--to={to}",
                        "--helo", "probe.example", "--data", f"@{path}"],
                       capture_output=True, text=True, timeout=60)
    assert r.returncode == 0, r.stdout + r.stderr
    return r.stdout


@needs("swaks")
def test_replies_byte_for_byte_pipelined_and_with_bare_lf(varnel):
    port = smtp_home(varnel)
    start(varnel)
    status = varnel.query("SELECT Status FROM Event_SMTP")[0][0]
    assert status.endswith(f"\r\nSMTP Server Started\r\nIP=127.0.0.1\r\nPort={port}")
    dialogue = [
        (b"HELO probe.example", b"250 HELO probe.example OK"),
        (b"MAIL FROM:<ops@example.org>", b"250 ops@example.org OK"),
        (b"RCPT TO:<+4670111@sms.example>", b"250 +4670111@sms.example OK"),
        (b"RCPT TO:<+4670222@sms.example>", b"250 +4670222@sms.example OK"),
        (b"DATA", b"354 Start mail input; end with <CRLF>.<CRLF>"),
        (b"Subject: up1 4 first mail\r\n\r\nbody\r\n..leading dot\r\n.", ACCEPTED[:-2]),
        (b"RSET", b"250 RSET OK"),
        (b"mail from: bare@example.org", b"250 mail from: bare@example.org OK"),
        (b"NOOP", b"500 Command not recognized"),
        (b"QUIT", b"221 Varnel SMTP Server QUIT"),
    ]
    for eol in (b"\r\n", b"\n"):
        c = Client(port)
        assert c.lines(1) == [GREETING]
        # Sent one command at a time, then all in one write.
        sent = dialogue if eol == b"\r\n" else [(eol.join(cmd for cmd, _ in dialogue), None)]
        got = []
        for command, _ in sent:
            c.send(command.replace(b"\r\n", eol) + eol)
            got += c.lines(1 if eol == b"\r\n" else len(dialogue))
        assert got == [reply + b"\r\n" for _, reply in dialogue]
        assert not c.lines(1)
        c.sock.close()
    # The general system: the subject is the event.
    assert wait_rows_of(varnel.events, 1)[0] == ("4 - Warning", "up1", "first mail")
    trace = varnel.read(TRACE).splitlines()
    assert trace[:3] == ["", "********** SMTP Mail **********", trace[2][:8] + "[1]  --> " +
                         GREETING.decode().strip()]
    assert trace[3][8:] == "[1]  <-- HELO probe.example"
    assert varnel.stop() == 0


@needs("swaks")
def test_skytel_mail_becomes_an_event_of_its_sender(varnel, tmp_path):
    port = smtp_home(varnel, SendingSystem="SkyTel")
    start(varnel)
    swaks_data(port, tmp_path, "Subject: x\r\n\r\nups on battery\r\nsince 10:00")
    assert wait_rows_of(varnel.events, 1) == [
        ("1 - Critical", "ops@example.org", "ups on battery>>since 10:00")]
    summary = ["[1] **** Summary ****", "System:  SkyTel", "Host:    127.0.0.1",
               "From:    ops@example.org", "To:      ;alarm@varnel.example", "Subject: x",
               "Text:    ups on battery", "since 10:00", "OK:      True"]
    wait_until(lambda: varnel.read(TRACE).splitlines()[-9:] == summary,
               what=lambda: varnel.read(TRACE)[-400:])  # the summary closes the trace
    assert varnel.stop() == 0


def multipart(kind, *parts):
    out = f"Content-Type: multipart/{kind}; boundary=BB\r\n\r\npreamble\r\n"
    for headers, body in parts:
        out += f"--BB\r\n{headers}\r\n\r\n{body}\r\n"
    return out + "--BB--\r\n"


@needs("swaks", modules=["aiosmtpd"])
def test_mime_subjects_and_bodies_are_decoded_and_relayed(varnel, relay, tmp_path):
    # The event's source is the mail's text and its message the subject.
    port = smtp_home(varnel, SendingSystem="SMS Gateway - Subject", UseEventFilter=1,
                     UseHcodedSource=1, HcodedSource="$B", UseHcodedPriority=1,
                     HcodedPriority="3 - Minor")
    varnel.add_mail_server("Relay", (sink := relay()).port)
    varnel.add_row("Recv_Mail_SMTP", Name="Ops", Enabled=1, MailAddress="duty@example.org",
                   MailServer1="Relay", **DUTY)
    varnel.add_group("all", ("Ops", "MailSMTP"))
    start(varnel)
    noise = base64.encodebytes(os.urandom(3000)).decode().replace("\n", "\r\n")
    mails = [
        ("Subject: =?iso-8859-1?Q?V=E4rme_l=E5g_i_k=F6ket_=C4=C5=D6?=\r\n\r\nboiler 1\r\n",
         "boiler 1", "Värme låg i köket ÄÅÖ"),
        ("Subject: alt\r\nMIME-Version: 1.0\r\n" + multipart(
            "alternative", ("Content-Type: text/plain; charset=us-ascii", "pump 3 stopped"),
            ("Content-Type: text/html", "<p>pump 3 <b>stopped</b></p>")),
         "pump 3 stopped", "alt"),
        ("Subject: html only\r\nMIME-Version: 1.0\r\n" +
         multipart("alternative", ("Content-Type: text/html", "<p>x</p>")),
         "This is a Multipart message. Only Plain text is supported.", "html only"),
        ("Subject: b64\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\n" +
         base64.b64encode("Kylrum 5 °C – ålder €".encode()).decode() + "\r\n",
         "Kylrum 5 °C – ålder €", "b64"),
        ("Subject: attachment\r\nMIME-Version: 1.0\r\n" + multipart(
            "mixed", ("Content-Type: text/plain; charset=iso-8859-1\r\n"
                      "Content-Transfer-Encoding: quoted-printable", "fl=E4kt 2"),
            ("Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64",
             noise)), "fläkt 2", "attachment"),
    ]
    for n, (mail, source, message) in enumerate(mails, 1):
        swaks_data(port, tmp_path, mail)
        assert wait_rows_of(varnel.events, n)[-1] == ("3 - Minor", source, message)
    # Malformed MIME: accepted, and the listener goes on.
    broken = ("Subject: broken\r\nContent-Type: multipart/mixed; boundary=\"QQ\r\n"
              "Content-Transfer-Encoding: base64\r\n\r\n--QQ\r\nContent-Type: text/plain\r\n"
              "Content-Transfer-Encoding: base64\r\n\r\n@@@###\r\n--ZZ\r\n")
    assert "<-  250 <123> Mail accepted" in swaks_data(port, tmp_path, broken)
    swaks_data(port, tmp_path, "Subject: after\r\n\r\nstill here\r\n")
    assert ("3 - Minor", "still here", "after") in wait_rows_of(varnel.events, len(mails) + 2)
    wait_until(lambda: sink.mails, 60, "the relayed mail")
    assert sink.mails[0]["rcpt"] == ["duty@example.org"]
    assert "boiler 1, 3 - Minor, Värme låg i köket ÄÅÖ" in sink.mails[0]["msg"].get_content()
    assert varnel.stop() == 0


@needs("swaks")
def test_access_lists_refuse_hosts_and_senders(varnel, tmp_path):
    port = smtp_home(varnel, AccessListIp="10.*")
    start(varnel)
    c = Client(port)
    assert not c.lines(1)  # no greeting
    c.sock.close()
    wait_until(lambda: "Refused: 127.0.0.1 is not in AccessListIp" in varnel.read(TRACE),
               what="the refusal traced")
    assert varnel.stop() == 0

    varnel.set("Event_SMTP", AccessListIp="127.0.0.*", AccessListFrom="*@example.ORG")
    start(varnel)
    out = swaks_data(port, tmp_path, "Subject: x1 2 from outside\r\n\r\n", sender="m@evil.net")
    assert "<-  221 Varnel SMTP Server QUIT" in out  # the dialogue completes
    swaks_data(port, tmp_path, "Subject: x2 2 from inside\r\n\r\n")
    assert wait_rows_of(varnel.events, 1) == [("2 - Major", "x2", "from inside")]
    assert "Not processed: m@evil.net is not in AccessListFrom" in varnel.read(TRACE)
    assert varnel.stop() == 0


def test_a_mail_taken_while_starting_then_bounds_and_a_tenth_connection(varnel):
    port = smtp_home(varnel)
    varnel.start(wait=False)

    def connect():
        try:
            return Client(port)
        except OSError:
            return None

    c = wait_until(connect, 30, "the listener to accept")
    c.send(b"HELO a\r\nMAIL FROM:<a@b.c>\r\nRCPT TO:<d@e.f>\r\nDATA\r\n"
           b"Subject: early 2 mail\r\n\r\n.\r\nQUIT\r\n")
    assert c.lines(7)[5] == ACCEPTED  # while the other listeners still open
    c.sock.close()
    assert wait_rows_of(varnel.events, 1) == [("2 - Major", "early", "mail")]

    silent = [Client(port) for _ in range(9)]
    for c in silent:
        assert c.lines(1) == [GREETING]
    tenth = Client(port)
    assert tenth.lines(2) == [b"421 Too many connections, try again later\r\n"]
    tenth.sock.close()
    assert "[10] Refused: 9 connections are open" in varnel.read(TRACE)

    # The nine are still served: one sends 10 MB of data, one a command line over 64 KiB.
    big, long_line, normal = silent[0], silent[1], silent[2]
    big.send(b"MAIL FROM:<a@b.c>\r\nRCPT TO:<d@e.f>\r\nDATA\r\nSubject: big 1 mail\r\n\r\n")
    assert len(big.lines(3)) == 3
    line = b"x" * 999 + b"\r\n"
    for _ in range(10_000):
        big.send(line)
    big.send(b".\r\n")
    assert big.lines(1) == [TOO_BIG]
    long_line.send(b"HELO " + b"h" * 70_000 + b"\r\nHELO ok\r\n")
    assert long_line.lines(2) == [TOO_BIG, b"250 HELO ok OK\r\n"]
    # A line of a mail over 64 KiB also refuses the mail; binary bytes are taken.
    normal.send(b"MAIL FROM:<a@b.c>\r\nRCPT TO:<d@e.f>\r\nDATA\r\nSubject: long 1 line\r\n\r\n" +
                b"y" * 70_000 + b"\r\n.\r\nDATA\r\nSubject: bin 2 ok\r\n\r\n" +
                bytes(range(256)) + b"\r\n.\r\nQUIT\r\n")
    assert normal.lines(7)[2:] == [b"354 Start mail input; end with <CRLF>.<CRLF>\r\n", TOO_BIG,
                                   b"354 Start mail input; end with <CRLF>.<CRLF>\r\n", ACCEPTED,
                                   b"221 Varnel SMTP Server QUIT\r\n"]
    assert wait_rows_of(varnel.events, 2)[1:] == [("2 - Major", "bin", "ok")]
    for c in silent:
        c.sock.close()
    assert varnel.alive() and varnel.stop() == 0
