"""One Syslog alarm mailed through aiosmtpd relays and handed to RUNPROG programs."""
import base64
import os
import re
import socket
import socketserver
import threading

import pytest

from conftest import DUTY, needs, program, wait_rows_of

SMTP_ERROR = re.compile(r"^SMTP: Error when sending message\. Error: (\d+)$")
SENT = ("SMTP: Message sent successfully.", 1)
RUN = ("NET SEND: Program executed successfully.", 1)


def mail(name, server, **more):
    return "Recv_Mail_SMTP", "MailSMTP", dict(Name=name, Enabled=1, MailServer1=server,
                                              MailAddress=f"{name.lower()}@example.org", **more)


def runprog(name, program):
    return "Recv_Popup_NETSEND", "PopupNetSend", dict(Name=name, Enabled=1, WinAddress=program)


@needs(modules=["aiosmtpd"])
@pytest.mark.filterwarnings("ignore:Requiring AUTH while not requiring TLS")
def test_one_alarm_reaches_relays_and_programs(varnel, relay, tmp_path):
    plain, auth = relay(), relay(user="varnel", password="s3cret")
    dropped = []  # connections to a relay that drops them at once
    dead = socketserver.TCPServer(("127.0.0.1", 0), lambda *request: dropped.append(request))
    threading.Thread(target=dead.serve_forever, daemon=True).start()
    login = dict(UseAuth=1, AuthMode="AUTH LOGIN", Account="varnel")
    server = varnel.init().add_mail_server
    server("Relay1", plain.port, Importance="High")
    server("Dead", dead.server_address[1], Retries=1)
    # The secondary's row gives only its host; the port is the primary's.
    server("Elsewhere", plain.port, host="127.0.0.2")
    server("Relay2", 1)
    server("Auth", auth.port, Passw="s3cret", **login)
    server("WrongPw", auth.port, Passw="wrong", **login)
    server("Direct", plain.port, MaxChar=0, Importance="Urgent",
           MailSubject="The Message (max 100 chr)")
    server("Nowhere", plain.port, host="relay.invalid")
    server("Negative", plain.port, MaxChar=-1)
    receivers = [mail("Ops", "Relay1"), mail("Down", "Dead"),
                 mail("Fallback", "Elsewhere", MailServer2="Relay2", UseMailServer2=1),
                 mail("Unknown", "NoSuchServer"), mail("Good", "Auth"), mail("Bad", "WrongPw"),
                 runprog("RunProg argv", "argv.sh"), runprog("RunProg sleeper", "sleeper.sh"),
                 runprog("RunProg missing", "missing.sh"), mail("EmptyBody", "Direct"),
                 mail("Unresolvable", "Nowhere"), mail("NegativeMax", "Negative")]
    for g in range(0, len(receivers), 5):  # a group takes five receivers
        varnel.add_group(f"group{g}", *[(r["Name"], kind) for _, kind, r in receivers[g:g + 5]])
    for table, _, row in receivers:
        varnel.add_row(table, **row, **DUTY)
    port = varnel.syslog()
    varnel.set("Settings_General", DebugMode="Debug All")
    argv, pids, planted = tmp_path / "argv.txt", tmp_path / "pids.txt", tmp_path / "planted"
    program(varnel, "argv.sh", f'for a in "$@"; do echo "$a" >> {argv}; done\n')
    program(varnel, "sleeper.sh", f"sleep 30 &\necho $$ $! > {pids}\nwait\n")
    varnel.start()
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.sendto(f"<34>Oct 11 22:14:15 core1 su failed; touch {planted}".encode(),
                 ("127.0.0.1", port))
    rows = {r[0]: r for r in wait_rows_of(varnel.alarms, len(receivers), timeout=60)}
    when, priority, node, message = varnel.events("DateAndTime, Priority, NodeName, Message")[0]
    text = f"{when[:10]}, {when[11:19]}, {node}, {priority}, {message}"
    assert text.endswith(f", 127.0.0.1, 2 - Major, su failed; touch {planted}")

    assert rows["Ops"][1:] == (text, *SENT, "MailSMTP")
    assert rows["Fallback"][2:4] == rows["Good"][2:4] == SENT
    assert rows["Unknown"][2:4] == ("MailServer not found in database.", 3)
    for failed in ("Down", "Bad"):
        assert rows[failed][3] == 3 and SMTP_ERROR.match(rows[failed][2])
    assert len(dropped) == 2  # Retries 1: two attempts
    assert rows["Unresolvable"][2:4] == ("SMTP: Error when sending message. Error: 6", 3)
    assert rows["NegativeMax"][2:4] == ("ERROR: Module SendMailSMTP", 3)
    assert any("(Module: SendMailSMTP)" in t for t in varnel.log(106))

    mails = {m["rcpt"][0]: m for m in plain.mails}
    assert sorted(mails) == ["emptybody@example.org", "fallback@example.org", "ops@example.org"]
    empty = mails["emptybody@example.org"]["msg"]
    assert (empty.get_content().strip(), empty["X-Priority"]) == ("", None)
    assert empty["Subject"] == text[:100]
    ops, msg = mails["ops@example.org"], mails["ops@example.org"]["msg"]
    assert (ops["sender"], msg.get_content().rstrip("\n")) == ("varnel@example.org", text)
    assert (msg["Subject"], msg["X-Priority"], msg["From"]) == (
        "Varnel alarm", "1", "varnel@example.org")
    assert str(msg["To"]) == "Ops <ops@example.org>"
    assert msg["Date"].datetime is not None
    assert re.fullmatch(r"<[^<>@\s]+@example\.org>", msg["Message-ID"])
    assert auth.logins == [("LOGIN", True), ("LOGIN", False)]
    assert [m["rcpt"] for m in auth.mails] == [["good@example.org"]]

    # One argument per blank-separated word; no shell ever saw them.
    assert argv.read_text().split("\n")[:-1] == text.split()
    assert not planted.exists()
    assert rows["RunProg argv"][2:] == (*RUN, "PopupNetSend")
    assert rows["RunProg sleeper"][2:4] == RUN  # stopped after the limit, but it did start
    assert rows["RunProg missing"][2:4] == ("NET SEND: Error [0] when executing the program.", 3)
    assert f"[258] sleeper.sh killed. (Module: RunExecProg: sleeper.sh {text})" in \
        varnel.log(106)
    assert "[0] (Module: RunExecProg: missing.sh could not be found)" in varnel.log(106)
    for pid in pids.read_text().split():  # the program and what it started are gone
        stat = f"/proc/{pid}/stat"
        assert not os.path.exists(stat) or open(stat).read().split()[2] == "Z"
    assert varnel.stop() == 0

    session = varnel.read("Debug/SendMailSMTP.txt")
    assert "AUTH LOGIN" in session and "250 2.0.0 Accepted" in session
    for secret in ("s3cret", "wrong"):
        assert secret not in session and base64.b64encode(secret.encode()).decode() not in session
    dead.shutdown()
