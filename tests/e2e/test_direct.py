"""Messages that name their receiver themselves: the direct-message trap, direct mail lines,
test messages from Receiver_Test, and the daily test event."""
import os
import re

from conftest import DUTY, P, needs, wait_rows_of, wait_until
from gsm_simulator import GsmSimulator

DIRECT_TRAP = "1.3.6.1.4.1.99412.1.14.2.0.1"
MAIL_SENT = "SMTP: Message sent successfully."
TEST_ENV = {"FAKETIME_DONT_FAKE_MONOTONIC": "1"}


def direct_vars(*values):
    """The variables of a direct-message trap: type code, operator, name, address, 2,
    unused, priority digit, text."""
    out = []
    for n, value in enumerate(values, 1):
        out += [f"1.3.6.1.4.1.99412.1.14.1.{n}", "i" if n == 5 else "s", value]
    return out


def write_drop_file(varnel, name, *lines):
    path = varnel.path(name)
    with open(path + ".tmp", "w", encoding="utf-8") as f:
        f.write("".join(line + "\r\n" for line in lines))
    os.rename(path + ".tmp", path)


@needs("snmptrap", modules=["aiosmtpd"])
def test_direct_trap_reaches_the_phone_and_a_direct_mail_line_the_relay(varnel, relay,
                                                                        snmptrapd):
    mail = relay()
    varnel.init().snmp_ports()
    varnel.add_mail_server("Relay1", mail.port)
    varnel.set("Settings_Modem", CommPort=1, ModemInitString="ATZ", ModemSpeed="9600",
               ModemSettings="n,8,1", ModemCommDelays="Short", Retries=1)
    varnel.add_row("Settings_Oper_Phone_MO", Name="Alpha", Protocol="ETSI 07.05-TEXT",
                   TerminalNumber="+4670000", ModemInitString="ATZ", ModemSpeed="9600",
                   ModemSettings="n,8,1", MaxChar=160, CharSet="GSM 3.38 Default")
    varnel.set("Event_CheckInterval", ForwardSendStatusAsTrap=1, TrapIpAddress="127.0.0.1",
               TrapUdpPort=snmptrapd.port, TrapCommunity="nms", TrapProtocol="SNMPv2 Trap")
    varnel.set("Settings_General", DebugMode="Event Sources")
    with GsmSimulator(varnel.path("ports/COM1")) as sim:
        varnel.start()
        # Receivers need no row of their own: the message carries the address.
        write_drop_file(varnel, "SmtpMess.log",
                        "2026-06-26 10:00:00\tMailSMTP\tRelay1\tops@example.org\tOps\tdisk full")
        varnel.trap("", DIRECT_TRAP, *direct_vars("2", "Alpha", "Anna", "46701234", "2", "x",
                                                  "2", "Pump 3 failed"))
        rows = wait_rows_of(varnel.alarms, 2, timeout=30)
    assert rows == [("Ops", "disk full", MAIL_SENT, 1, "MailSMTP"),
                    ("Anna", "Pump 3 failed", "ALPHA[SS=17]: Message sent to receiver.", 1,
                     "PhoneMO")]
    assert [(s["number"], s["text"]) for s in sim.sent] == [("+46701234", "Pump 3 failed")]
    (sent,) = mail.mails
    assert (sent["rcpt"], sent["msg"].get_content().strip()) == (["ops@example.org"], "disk full")
    assert varnel.events("Priority, NodeName, Message, EventSource") == [
        ("5 - Normal", "Ops", "disk full", "SMTP Mail"),
        ("2 - Major", "Anna", "Pump 3 failed", "SNMP Trap")]
    # Only the trap's message reports its status; direct mail, sent first, has no trap.
    first_trap = snmptrapd.wait(1)[0]
    assert f'.{P}.1.3.1 = STRING: "Anna"' in first_trap
    assert not os.path.exists(varnel.path("SmtpMess.log"))
    assert not os.path.exists(varnel.path("SnmpMess.log"))
    assert "RecvName(1)=Ops" in varnel.read("Debug/Smtp_LogFile.txt")
    assert varnel.stop() == 0


@needs("snmpset", modules=["aiosmtpd"])
def test_test_message_is_sent_after_the_update_request_and_its_row_deleted(varnel, relay):
    mail = relay()
    varnel.init().snmp_ports()
    varnel.add_mail_server("Relay1", mail.port)
    varnel.start()
    varnel.add_row("Receiver_Test", Name="Ops", Type="MailSMTP", Operator="Relay1",
                   Address="ops@example.org", Message="test from the admin")
    # A cycle without the update request leaves the row alone.
    varnel.drop("2026-06-26 10:00:00\t5 - Normal\tprobe\tcycle passed")
    wait_rows_of(varnel.events, 1)
    assert varnel.query("SELECT Name FROM Receiver_Test") == [("Ops",)]
    assert varnel.alarms() == []

    varnel.snmp_set(f"{P}.1.2.1.0", "i", "1")
    rows = wait_rows_of(varnel.alarms, 1)
    assert rows == [("Ops", "test from the admin", MAIL_SENT, 1, "MailSMTP")]
    wait_until(lambda: varnel.query("SELECT COUNT(*) FROM Receiver_Test") == [(0,)])
    assert [m["rcpt"] for m in mail.mails] == [["ops@example.org"]]
    assert varnel.events("Message") == [("cycle passed",)]  # the test message is no event
    assert varnel.stop() == 0


def cycles_reached(varnel, when):
    """Feeds Event.log lines until a cycle that read one ran at `when` or later (the event
    list trace stamps each read), so that cycle's hourly jobs ran at that time too."""
    stamp = re.compile(r"^(\S+ \S+) \*\*\*\*\* Event List \(from Event\.log\)", re.M)

    def reached():
        stamps = stamp.findall(varnel.read("Debug/Event_List.txt"))
        if stamps and stamps[-1] >= when:
            return True
        varnel.drop("2026-06-26 00:00:00\t5 - Normal\tprobe\tprobe")
        return False

    wait_until(reached, 30, f"a cycle at {when}")


@needs(modules=["aiosmtpd"], faketime=True)
def test_daily_test_event_once_a_day_even_across_a_restart(varnel, relay):
    mail = relay()
    varnel.init()
    varnel.add_mail_server("Relay1", mail.port)
    varnel.add_row("Recv_Mail_SMTP", Name="Ops", Enabled=1, MailServer1="Relay1",
                   MailAddress="ops@example.org", **DUTY)
    varnel.add_group("Daily test", ("Ops", "MailSMTP"), NodeName="varnel-test")
    varnel.set("Settings_General", TestUse=1, TestSendTime=8, TestSeverity="4 - Warning",
               TestSource="varnel-test", TestMessage="daily test", DebugMode="Event Sources")
    tests = lambda: varnel.query("SELECT DateAndTime, Priority, NodeName, Message FROM "
                                 "LogFiles_Event WHERE EventSource = 'Internal'")
    last_sent = lambda: varnel.query("SELECT TestLastSent FROM Settings_General")[0][0]

    varnel.start(faketime="@2026-06-26 07:59:58", extra_env=TEST_ENV)
    (row,) = wait_rows_of(tests, 1)
    assert row[0].startswith("2026-06-26 08:00:")
    assert row[1:] == ("4 - Warning", "varnel-test", "daily test")
    wait_until(lambda: mail.mails, what="the test event delivered through its group")
    assert mail.mails[0]["rcpt"] == ["ops@example.org"]
    assert last_sent() == "2026-06-26"
    assert varnel.stop() == 0

    # Restarted before eight on the same day: the hour turns to eight again, but today's
    # test event has been raised already.
    varnel.start(faketime="@2026-06-26 07:59:58", extra_env=TEST_ENV)
    cycles_reached(varnel, "2026-06-26 08:00:00")
    assert len(tests()) == 1
    assert varnel.stop() == 0

    # The next day it comes again.
    varnel.start(faketime="@2026-06-27 07:59:58", extra_env=TEST_ENV)
    wait_rows_of(tests, 2)
    assert tests()[1][0].startswith("2026-06-27 08:00:")
    assert last_sent() == "2026-06-27"
    wait_until(lambda: len(mail.mails) == 2, what="the second test event delivered")
    assert varnel.stop() == 0
