"""Messages that name their receiver themselves, and the daily test event."""
import re
import socket
import subprocess

from conftest import P, free_port, gsm_modem, needs, wait_rows_of, wait_until


@needs("snmptrap", "swaks")
def test_direct_trap_and_sms_gateway_mail_reach_the_phone(varnel, snmptrapd):
    varnel.init().snmp_ports()
    port = free_port(socket.SOCK_STREAM)
    with open(varnel.path("Varnel.ini"), "w") as f:
        f.write("SMTPSERVERMULTIHOMED=1\r\n")
    varnel.set("Event_SMTP", Enabled=1, IpAddress="127.0.0.1", TcpPort=port, AccessListIp="*",
               AccessListFrom="*", SendingSystem="SMS Gateway - Subject", PhoneMoOper="Alpha",
               UseEventFilter=0)
    sim = gsm_modem(varnel)
    varnel.set("Event_CheckInterval", ForwardSendStatusAsTrap=1, TrapIpAddress="127.0.0.1",
               TrapUdpPort=snmptrapd.port, TrapCommunity="nms", TrapProtocol="SNMPv2 Trap")
    with sim:
        varnel.start()
        # No receiver rows: each message carries its receiver's address.
        subprocess.run(["swaks", "--server", f"127.0.0.1:{port}", "--from=ops@example.org",
                        "--to=46709999@sms.example", "--header", "Subject: disk full",
                        "--body", "see subject"], check=True, capture_output=True, timeout=60)
        values = ["2", "Alpha", "Anna", "46701234", "2", "x", "2", "Pump 3 failed"]
        varnel.trap("", "1.3.6.1.4.1.99412.1.14.2.0.1", *[
            a for n, v in enumerate(values, 1)
            for a in (f"1.3.6.1.4.1.99412.1.14.1.{n}", "i" if n == 5 else "s", v)])
        rows = wait_rows_of(varnel.alarms, 2, timeout=30)
    assert sorted(rows) == sorted([
        ("ops@example.org", "disk full", "ALPHA[SS=17]: Message sent to receiver.", 1, "PhoneMO"),
        ("Anna", "Pump 3 failed", "ALPHA[SS=17]: Message sent to receiver.", 1, "PhoneMO")])
    assert sorted((s["number"], s["text"]) for s in sim.sent) == [
        ("+46701234", "Pump 3 failed"), ("+46709999", "disk full")]
    assert sorted(varnel.events("Priority, NodeName, Message, EventSource")) == [
        ("2 - Major", "Anna", "Pump 3 failed", "SNMP Trap"),
        ("5 - Normal", "ops@example.org", "disk full", "SMTP Mail")]
    # Direct mail reports no status trap; the trap's message does.
    traps = snmptrapd.wait(1)
    assert len(traps) == 1 and f'.{P}.1.3.1 = STRING: "Anna"' in traps[0]


@needs(faketime=True)
def test_daily_test_event_once_a_day_even_across_a_restart(varnel):
    varnel.init().set("Settings_General", TestUse=1, TestSendTime=8, TestSeverity="4 - Warning",
                      TestSource="varnel-test", TestMessage="daily", DebugMode="Event Sources")
    tests = lambda: varnel.query("SELECT DateAndTime, Priority, NodeName, Message FROM "
                                 "LogFiles_Event WHERE EventSource = 'Internal'")
    start = lambda day: varnel.start(faketime=f"@2026-06-{day} 07:59:58",
                                     extra_env={"FAKETIME_DONT_FAKE_MONOTONIC": "1"})
    start(26)
    ((when, *event),) = wait_rows_of(tests, 1)
    assert (when[:16], event) == ("2026-06-26 08:00", ["4 - Warning", "varnel-test", "daily"])
    assert varnel.stop() == 0
    # Restarted before eight the same day: the hour turns to eight again, and nothing comes.
    start(26)
    stamps = lambda: re.findall(r"^(\S+ \S+) \*{5} Event List", varnel.read(
        "Debug/Event_List.txt"), re.M)
    # Event.log lines until one was read at eight, in the cycle that ran the hourly jobs.
    wait_until(lambda: stamps()[-1:] >= ["2026-06-26 08:00:00"] or varnel.drop(
        "2026-06-26 00:00:00\t5 - Normal\tprobe\tprobe"), 30, "a cycle at eight")
    assert len(tests()) == 1 and varnel.stop() == 0
    start(27)
    assert wait_rows_of(tests, 2)[1][0][:16] == "2026-06-27 08:00"
    assert varnel.query("SELECT TestLastSent FROM Settings_General") == [("2026-06-27",)]
