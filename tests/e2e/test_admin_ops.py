"""varnel-admin's operations commands against the real service: status, send, log and
explain, and the input they refuse."""
import socket
import sqlite3
import subprocess
import threading
from datetime import datetime, timedelta

from conftest import ADMIN_BIN, DUTY, P, gsm_modem, needs, wait_rows_of, wait_until

MAIL_SENT = "SMTP: Message sent successfully."


def admin(*args, timeout=60):
    return subprocess.run([ADMIN_BIN, *map(str, args)], capture_output=True, text=True,
                          timeout=timeout)


def syslog_datagram(port, text):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.sendto(f"<13>{text}".encode(), ("127.0.0.1", port))


def netsend_receiver(varnel, name, duty=DUTY):  # fails at once (nobody logged in), still logged
    varnel.add_row("Recv_Popup_NETSEND", Name=name, Enabled=1, WinAddress="nobody-" + name,
                   **duty)


def test_log_follow_status_of_a_running_then_a_stopped_service(varnel):
    port = varnel.init().snmp_ports().syslog()
    varnel.set("Event_CheckInterval", CheckInterval=1)
    varnel.start()
    follow = subprocess.Popen([ADMIN_BIN, "log", varnel.home, "events", "--follow"],
                              stdout=subprocess.PIPE, text=True)
    lines = []
    threading.Thread(target=lambda: lines.extend(follow.stdout), daemon=True).start()
    try:
        wait_until(lambda: lines, what="the header line")
        assert lines[0].split() == ["Index", "DateAndTime", "Priority", "NodeName", "Message",
                                    "EventSource"]
        syslog_datagram(port, "probe: followed event")
        wait_until(lambda: any("followed event" in line for line in lines),
                   what=lambda: f"the event in {lines}")
    finally:
        follow.terminate()
        follow.wait()

    r = admin("status", varnel.home)
    assert r.returncode == 0, r.stderr
    status = r.stdout.splitlines()
    assert status[0] == "Service: running"
    syslog1 = next(line.split() for line in status if line.startswith("Syslog 1"))
    assert syslog1[2] == "started" and "Syslog Server Started" in " ".join(syslog1)
    assert next(line for line in status if line.startswith("Comm port")).split()[2:4] == [
        "not", "started"]
    assert "Errors: 0" in status and "Today: 1 events, 0 alarms" in status

    varnel.query("UPDATE LogFiles_Event SET DateAndTime = '2020-01-01 00:00:00'")
    syslog_datagram(port, "probe: later event")
    wait_rows_of(varnel.events, 2)
    r = admin("log", varnel.home, "events", "--json", "--since", "2021-01-01")
    assert r.returncode == 0
    (row,) = r.stdout.splitlines()
    assert 'later event"' in row and row.startswith('{"Index": ')

    varnel.snmp_set(f"{P}.1.1.1.0", "i", "2")  # paused through the agent
    assert admin("status", varnel.home).stdout.startswith("Service: paused\n")
    netsend_receiver(varnel, "Ops")
    r = admin("send", varnel.home, "Ops")  # a paused service would not send it
    assert r.returncode == 1 and "paused" in r.stderr
    assert varnel.query("SELECT COUNT(*) FROM Receiver_Test") == [(0,)]
    # The agent answers a community it does not take without values: no answer either.
    varnel.set("Settings_SNMP_Agent", GetComm="changed")
    assert admin("status", varnel.home).returncode == 3
    varnel.set("Settings_SNMP_Agent", GetComm="public")

    assert varnel.stop() == 0
    r = admin("status", varnel.home)
    assert r.returncode == 3 and "does not answer" in r.stderr and r.stdout == ""


@needs(modules=["aiosmtpd"])
def test_send_reaches_a_mail_receiver_and_the_gsm_terminal(varnel, relay):
    mail = relay()
    varnel.init().snmp_ports().add_mail_server("Relay1", mail.port)
    varnel.add_mail_server("Dead", 1)  # nothing listens on port 1
    varnel.add_row("Recv_Mail_SMTP", Name="Ops", Enabled=1, MailAddress="ops@example.org",
                   MailServer1="Relay1", **DUTY)
    varnel.add_row("Recv_Mail_SMTP", Name="Lost", Enabled=1, MailAddress="x@example.org",
                   MailServer1="Dead", **DUTY)
    # Off duty all week: a test message goes to it all the same.
    varnel.add_row("Recv_Phone_MO", Name="Anna", Enabled=1, PhoneNumber="46701234",
                   Operator="Alpha", **{k: 0 for k in DUTY})
    with gsm_modem(varnel) as sim:
        varnel.start()
        r = admin("send", varnel.home, "Ops", "hello from the tool")
        assert (r.returncode, r.stdout) == (0, MAIL_SENT + "\n"), r.stderr
        r = admin("send", varnel.home, "Anna")
        assert (r.returncode, r.stdout) == (0, "ALPHA[SS=17]: Message sent to receiver.\n")
        r = admin("send", varnel.home, "Lost")
        assert r.returncode == 1 and r.stdout.strip() and r.stdout != MAIL_SENT + "\n"
        assert [(s["number"], s["text"]) for s in sim.sent] == [
            ("+46701234", "Test message from varnel-admin")]
    assert [(m["rcpt"], m["msg"].get_content().strip()) for m in mail.mails] == [
        (["ops@example.org"], "hello from the tool")]
    assert varnel.alarms("Receiver, SendType, SendStatusInt") == [
        ("Ops", "MailSMTP", 1), ("Anna", "PhoneMO", 1), ("Lost", "MailSMTP", 3)]
    assert varnel.events() == []  # a test message is no event

    r = admin("send", varnel.home, "Nobody")
    assert r.returncode == 2 and '"Nobody"' in r.stderr
    assert varnel.stop() == 0
    r = admin("send", varnel.home, "Ops")
    assert r.returncode == 3 and "nothing was queued" in r.stderr
    assert varnel.query("SELECT COUNT(*) FROM Receiver_Test") == [(0,)]


def test_explain_names_the_deciding_condition_of_every_group(varnel):
    varnel.init()
    for name in ("webops", "console", "corr", "dba"):
        netsend_receiver(varnel, name)
    netsend_receiver(varnel, "night", {k: 0 for k in DUTY})
    varnel.add_group("Web team", ("webops", "PopupNetSend"), NodeName="web*")
    varnel.add_group("All events", ("console", "PopupNetSend"))
    varnel.add_group("Night shift", ("night", "PopupNetSend"), **{k: 0 for k in DUTY})
    varnel.add_group("DB team", ("dba", "PopupNetSend"), NodeName="db*")
    varnel.add_group("Correlated", ("corr", "PopupNetSend"), Correlation=1, SkipDupEvent=1,
                     CriteriaDupEvent="Whole String Equal", PriorityUp="5 - Normal",
                     PrioritySearchUp="=", HoldTimer=60, SendMessFirstDown=1)
    varnel.start()
    now = datetime.now().replace(microsecond=0)
    times = [str(now - timedelta(minutes=2)), str(now - timedelta(minutes=1))]
    varnel.drop(f"{times[0]}\t2 - Major\tweb1\tdisk full")
    wait_rows_of(varnel.alarms, 3)  # webops, console, corr; the down event is held
    varnel.drop(f"{times[1]}\t2 - Major\tweb1\tdisk full")
    wait_rows_of(varnel.alarms, 5)
    (first, second) = [i for (i,) in varnel.query('SELECT "Index" FROM LogFiles_Event')]

    r = admin("explain", varnel.home, "--event", second)
    assert r.returncode == 0, r.stderr
    out = r.stdout.splitlines()
    verdicts = {line.split("  ")[0]: line for line in out[3:8]}
    assert out[0] == f"Event: {times[1]}  2 - Major  web1  disk full  (Log File)"
    assert "matched" in verdicts["Web team"] and "matched" in verdicts["All events"]
    assert "missed: off duty" in (night := verdicts["Night shift"]) and "has no hour" in night
    assert "missed: node filter" in verdicts["DB team"] and '"db*"' in verdicts["DB team"]
    assert "missed: held as a duplicate" in verdicts["Correlated"]
    assert any(line.split()[2:] == ["night", "PopupNetSend", "off", "duty"] for line in out)
    rows = out[out.index("Alarm log rows:") + 2:]
    assert sorted(line.split()[3] for line in rows) == ["console", "webops"]

    # The first event is not a duplicate of the entry it made itself.
    out = admin("explain", varnel.home, "--event", first).stdout.splitlines()
    assert next(line for line in out if line.startswith("Correlated")).split()[1] == "matched"
    # A made-up event, judged now; a pattern that does not compile is shown as the filter
    # reports it.
    varnel.add_group("Broken", ("dba", "PopupNetSend"), NodeName="[db")
    out = admin("explain", varnel.home, "db7", "3", "disk full").stdout.splitlines()
    assert next(line for line in out if line.startswith("DB team")).split()[2] == "matched"
    assert "missed: node filter" in next(line for line in out if line.startswith("Broken"))
    assert "filter error: [93] Invalid pattern string (Module: StringCompareText)" in out


def test_bad_input_is_refused_with_status_2_and_nothing_written(varnel, tmp_path):
    varnel.init()
    not_home = tmp_path / "elsewhere"
    not_home.mkdir()
    for args in (["status", not_home], ["send", not_home, "Ops"], ["log", not_home, "events"],
                 ["explain", not_home, "--event", "1"], ["log", varnel.home, "faults"],
                 ["log", varnel.home, "events", "--since", "yesterday"],
                 ["explain", varnel.home, "--event", "x1"],
                 ["explain", varnel.home, "--event", "123"],
                 ["explain", varnel.home, "web1", "9", "disk"],
                 ["send", varnel.home, "Ops", "--timeout", "soon"]):
        r = admin(*args)
        assert r.returncode == 2, (args, r.stderr)
        assert r.stderr.startswith(f"varnel-admin {args[0]}: "), (args, r.stderr)
    assert "not a program directory" in admin("log", not_home, "events").stderr

    # A database that another program keeps locked beyond the busy time-out.
    netsend_receiver(varnel, "Ops")
    with sqlite3.connect(varnel.path("Varnel.mdb"), isolation_level=None) as lock:
        lock.execute("BEGIN EXCLUSIVE")
        r = admin("send", varnel.home, "Ops")
        assert r.returncode == 2 and "locked" in r.stderr, r.stderr
        # Readers see the committed rows while a writer holds the lock (write-ahead log).
        assert admin("log", varnel.home, "events").returncode == 0
        lock.execute("ROLLBACK")
    assert varnel.query("SELECT COUNT(*) FROM Receiver_Test") == [(0,)]
