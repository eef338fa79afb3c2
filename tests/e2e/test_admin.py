"""varnel-admin on real program directories: a configuration made only with its commands,
check against planted faults, and the bad input it refuses without writing anything."""
import hashlib
import os
import re
import socket
import subprocess

import pytest

from conftest import ADMIN_BIN, DUTY, P, free_port, needs, wait_until

ALL_WEEK = [f"DutyTime{d}=16777215" for d in ("Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun")]


def admin(*args):
    return subprocess.run([ADMIN_BIN, *map(str, args)], capture_output=True, text=True,
                          timeout=60)


def ok(*args):
    r = admin(*args)
    assert r.returncode == 0, r.stderr
    return r.stdout


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


@needs("snmpget", modules=["aiosmtpd"])
def test_configuration_made_with_add_mails_a_syslog_event_and_reload_applies(varnel, relay):
    mailer, home = relay(), varnel.home
    syslog_port, agent_port = free_port(), free_port()
    ok("init", home)
    ok("set", home, "Event_CheckInterval", "CheckInterval=5")
    ok("set", home, "Event_SysLog", "Enabled1=1", "Protocol1=UDP", "IpAddress1=127.0.0.1",
       f"ListeningPort1={syslog_port}")
    ok("set", home, "Settings_SNMP_Agent", "Enabled=yes", "IpAddress=127.0.0.1",
       f"UdpPort={agent_port}", "SetComm=secret")
    ok("add", home, "Settings_Mail_SMTP", "Name=Relay", "HostAddress=127.0.0.1",
       f"MailPort={mailer.port}", "SenderAddress=varnel@example.org", "CharSet=utf-8",
       "MailSubject=Varnel alarm", "Importance=Normal", "TimeOut=10", "MaxChar=1000")
    ok("add", home, "Recv_Mail_SMTP", "Name=Ops", "Enabled=true", "MailAddress=ops@example.org",
       "MailServer1=Relay", *ALL_WEEK)
    ok("add", home, "SuppGrp_Perm", "Name=Everything", "Enabled=1", "Priority=5 - Normal",
       "PrioritySearch=<=", "NodeName=*", "NodeNameSearch==", "Message=*", "MessageSearch==",
       "RecvName1=Ops", "RecvType1=MailSMTP", *ALL_WEEK)
    assert ok("check", home) == f"No errors found in {home}\n"
    varnel.start()

    def syslog(text):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.sendto(f"<34>Oct 11 22:14:15 core1 {text}".encode(), ("127.0.0.1", syslog_port))

    syslog("disk full")
    wait_until(lambda: len(mailer.mails) == 1, 60, "the first mail")
    assert mailer.mails[0]["rcpt"] == ["ops@example.org"]
    assert "disk full" in mailer.mails[0]["msg"].get_content()
    assert not os.path.exists(trace := varnel.path("Debug/Event_SyslogMess.txt"))

    # The service reads the changed debug mode once it is asked to.
    ok("set", home, "Settings_General", "DebugMode=Event Sources")
    assert "reads its configuration again" in ok("reload", home)
    wait_until(lambda: varnel.snmp("snmpget", f"{P}.1.2.1.0", port=agent_port).stdout.strip()
               .endswith("INTEGER: 2"), what="the update request done")
    syslog("disk still full")
    wait_until(lambda: len(mailer.mails) == 2, 60, "the second mail")
    assert "disk still full" in open(trace, errors="replace").read()

    varnel.stop()
    stopped = admin("reload", home)
    assert stopped.returncode == 3 and "does not answer" in stopped.stderr


def test_check_passes_the_demo_and_finds_each_planted_fault(varnel):
    home = varnel.init(demo=True).home
    assert admin("check", home).stdout == f"No errors found in {home}\n"

    # Hand edits of the kind an operator makes with sqlite3, each one a fault.
    console = ("Operator console", "PopupNetSend")
    varnel.add_group("Ghost", ("Nobody", "PhoneMO"), console)
    varnel.add_group("Misspelt", ("Operator console", "PopupNetsend"))
    # Monday: Anna covers hours 0-8, the group is on duty from 8 to 23.
    varnel.add_row("Recv_Phone_MO", Name="Anna", Enabled=1, PhoneNumber="4670",
                   Operator="NoSuchOp", **{**DUTY, "DutyTimeMon": 0x1FF})
    varnel.add_group("Night", ("Anna", "PhoneMO"), DutyTimeMon=0xFFFF00)
    varnel.add_row("Recv_Mail_SMTP", Name="Mailbox", Enabled=1, MailServer1="NoRelay", **DUTY)
    varnel.set("Event_SNMP_TrapServer", UdpPort=1161)
    os.rmdir(varnel.path("Backup"))
    r = admin("check", home)
    assert r.returncode == 1
    assert r.stdout.splitlines() == [
        f"directory Backup: missing ({home}/Backup)",
        'SuppGrp_Perm row 3 RecvType1: takes one of: "PhoneDA", "PhoneMO", "PagerAlfa", '
        '"PagerNum", "MailSMTP", "PopupNetSend" (or nothing); not "PopupNetsend"',
        'SuppGrp_Perm row 2 RecvName1: receiver "Nobody" does not exist in Recv_Phone_MO',
        'Recv_Phone_MO row 1 Operator: operator "NoSuchOp" does not exist in '
        "Settings_Oper_Phone_MO",
        'Recv_Mail_SMTP row 1 MailServer1: mail server "NoRelay" does not exist in '
        "Settings_Mail_SMTP",
        "Event_SNMP_TrapServer row 1 UdpPort: snmpManager listens on UDP port 1161 like "
        "snmpAgent",
        'SuppGrp_Perm row 3 RecvName1: group "Misspelt" has no enabled receiver that exists',
        'SuppGrp_Perm row 4 DutyTimeMon: group "Night" is on duty with nobody on duty on Mon '
        "at hours 9,10,11,12,13,14,15,16,17,18,19,20,21,22,23",
        f"8 errors found in {home}",
    ]


@pytest.fixture
def home(tmp_path):
    home = str(tmp_path / "home")
    ok("init", home, "--demo")
    return home


BAD_INPUT = [
    (["add", "{home}", "Recv_Mail", "Name=x"], "unknown table \"Recv_Mail\"; the tables are: "),
    (["set", "{home}", "SuppGrp_Perm", "Enabled=0"], "name them with --where"),
    (["add", "{home}", "Settings_General", "DebugMode=No Debug"], "holds exactly one row"),
    (["delete", "{home}", "Settings_Modem", "--where", "CommPort=0"], "cannot be deleted"),
    (["delete", "{home}", "SuppGrp_Perm"], "needs --where"),
    (["add", "{home}", "Recv_Mail_SMTP", "Name=x", "Name=y"], "given twice"),
    (["show", "{home}/Backup", "SuppGrp_Perm"], "is not a program directory"),
    (["show", "{home}/nowhere", "SuppGrp_Perm"], "is not a directory"),
    (["frobnicate", "{home}"], "unknown command \"frobnicate\""),
]


@pytest.mark.parametrize("args,message", BAD_INPUT, ids=[" ".join(a[0:1] + a[2:4]) for a, _ in
                                                          BAD_INPUT])
def test_bad_input_exits_2_and_writes_nothing(home, args, message):
    before = digest(os.path.join(home, "Varnel.mdb"))
    r = admin(*[a.format(home=home) for a in args])
    assert (r.returncode, r.stdout) == (2, "")
    assert message in r.stderr
    assert digest(os.path.join(home, "Varnel.mdb")) == before


def test_a_file_that_is_no_database_is_refused(tmp_path):
    (tmp_path / "Varnel.mdb").write_text("not a database")
    r = admin("check", tmp_path)
    assert r.returncode == 2 and "is not a Varnel database" in r.stderr


def test_a_row_refused_in_the_middle_leaves_the_rows_before_it_unchanged(home):
    # Valid while "!=" splits at <AND>; once "=" splits at <OR>, "[x" stands alone.
    ok("add", home, "SuppGrp_Perm", "Name=Second", "Enabled=1", "Message=[x<OR>a]",
       "MessageSearch=!=")
    before = digest(os.path.join(home, "Varnel.mdb"))
    r = admin("set", home, "SuppGrp_Perm", "--where", "Enabled=1", "MessageSearch==",
              "CaseSensitive=1")
    assert r.returncode == 2 and "SuppGrp_Perm row 2: Message" in r.stderr
    assert digest(os.path.join(home, "Varnel.mdb")) == before


def test_edits_change_only_the_rows_named(home):
    ok("add", home, "Recv_Pager_Num", "Name=A", "PagerNumber=1")
    ok("add", home, "Recv_Pager_Num", "Name=B", "PagerNumber=2", "MoCalling=on")
    assert ok("set", home, "Recv_Pager_Num", "--where", "MoCalling=yes",
              "DelayTime=12") == "Changed 1 row of Recv_Pager_Num\n"
    nothing = admin("delete", home, "Recv_Pager_Num", "--where", "Name=C")
    assert nothing.returncode == 1 and "nothing deleted" in nothing.stderr
    ok("delete", home, "Recv_Pager_Num", "--where", "Name=A")
    shown = ok("show", home, "Recv_Pager_Num", "--json")
    assert re.search(r'"Name": "B", .*"MoCalling": 1, .*"DelayTime": 12', shown)
    assert '"Name": "A"' not in shown
    lines = ok("show", home, "Recv_Pager_Num").splitlines()
    assert lines[0].split()[:3] == ["Row", "Name", "Enabled"] and len(lines) == 2
