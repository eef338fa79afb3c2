"""The hourly and daily jobs on a clock that the test steps forward."""
import collections
import datetime as dt
import os
import sqlite3

from conftest import DUTY, SteppedClock, gsm_modem, needs, wait_rows_of, wait_until


@needs("snmpset", modules=["aiosmtpd"], faketime=True)
def test_journal_hand_over_in_its_hour_and_past_rows_dropped(varnel, relay, tmp_path):
    mails = relay()
    varnel.init().snmp_ports().add_mail_server("Relay", mails.port)
    for name in ("Day", "Night", "Late"):
        varnel.add_row("Recv_Mail_SMTP", Name=name, Enabled=1, MailServer1="Relay",
                       MailAddress=f"{name.lower()}@example.org", **DUTY)
    varnel.add_group("ops", ("Day", "MailSMTP"))
    varnel.set("Settings_General", NotifyDutyListOnOff=1)
    for day, hour, receiver in (("26", 14, "Night"), ("25", 14, "Late"), ("26", 15, "Late")):
        varnel.add_row("SuppGrp_Jour", Date=f"2026-06-{day} 00:00:00",
                       Time=f"1899-12-30 {hour}:00:00", SupportGroup="ops", RecvName1=receiver,
                       RecvType1="MailSMTP")
    clock = SteppedClock(varnel, tmp_path)
    clock.start("2026-06-26 13:59:00")
    clock.to("2026-06-26 14:00:30")
    sent = ("SMTP: Message sent successfully.", 1, "MailSMTP")
    assert wait_rows_of(varnel.alarms, 2) == [("Night", "ops: On Duty List", *sent),
                                              ("Day", "ops: Off Duty List", *sent)]
    assert varnel.query("SELECT RecvName1 FROM SuppGrp_Perm") == [("Night",)]
    # Yesterday's row went unapplied; the one for 15:00 waits for its hour.
    assert varnel.query("SELECT Date, Time FROM SuppGrp_Jour") == [
        ("2026-06-26 00:00:00", "1899-12-30 15:00:00")]
    wait_until(lambda: sorted((m["rcpt"][0], m["msg"].get_content().strip()) for m in mails.mails)
               == [("day@example.org", "ops: Off Duty List"),
                   ("night@example.org", "ops: On Duty List")], what="both notices mailed")
    assert varnel.log(106) == [] and varnel.stop() == 0


@needs("snmpset", faketime=True)
def test_buffered_messages_wait_three_day_boundaries_and_leave_in_order(varnel, tmp_path):
    varnel.init().snmp_ports()
    sim = gsm_modem(varnel)
    varnel.set("Event_CheckInterval", SendDate=0, SendTime=0, SendNodeName=0, SendPriority=0,
               SendMessage=1, SendMessageMaxChar=250)
    varnel.set("Settings_General", BufferAllMessOffDuty=1)
    # On duty from Thursday on, and on Fridays only.
    for name, duty in (("Thu", dict(DUTY, DutyTimeMon=0, DutyTimeTue=0, DutyTimeWed=0)),
                       ("Fri", {**{day: 0 for day in DUTY}, "DutyTimeFri": 16777215})):
        varnel.add_row("Recv_Phone_MO", Name=name, Enabled=1, PhoneNumber="46700",
                       Operator="Alpha", BufferMessages=1, **duty)
    varnel.add_group("ops", ("Thu", "PhoneMO"), ("Fri", "PhoneMO"))
    clock = SteppedClock(varnel, tmp_path)
    with sim:
        clock.start("2026-06-29 23:00:00")  # a Monday
        for i, text in enumerate(("first", "second", "third"), 1):
            varnel.drop(f"2026-06-29 23:00:0{i}\t2 - Major\tcore1\t{text}")
            wait_rows_of(varnel.events, i)
        varnel.cycle_done()  # the cycle that buffered the third has ended
        # Each step lands in another hour, so that each runs the hourly jobs.
        clock.to("2026-07-02 10:30:00")  # Thursday, three day boundaries later
        rows = wait_rows_of(lambda: varnel.alarms("Receiver, Message, SendStatusInt"), 3)
        assert rows == [("Thu", text, 1) for text in ("first", "second", "third")]
        assert [s["text"] for s in sim.sent] == ["first", "second", "third"]
        clock.to("2026-07-03 11:30:00")  # Friday: four boundaries, dropped unsent
        assert len(varnel.alarms()) == 3 and len(sim.sent) == 3
    assert varnel.log(106) == [] and varnel.stop() == 0


@needs("snmpset", faketime=True)
def test_forty_days_unattended_with_daily_copies_and_housekeeping(varnel, tmp_path):
    varnel.init().snmp_ports()
    varnel.set("Settings_General", BackupVarnel=1, BackupHour=3, DelOldLogDays=7)
    first, days, per_day, sizes = dt.date(2026, 7, 1), 40, 300, []
    copy = lambda date: varnel.path(f"Backup/Varnel_{date.strftime('%a')}.mdb")
    events = "SELECT * FROM LogFiles_Event ORDER BY rowid"
    clock = SteppedClock(varnel, tmp_path)
    clock.start(f"{first} 00:00:30")
    for d in range(days):
        date = first + dt.timedelta(days=d)
        if d:
            clock.to(f"{date} 00:30:00")  # the first cycle of the day cleans the logs
        varnel.drop(*(f"{date} 00:30:{i % 60:02}\t5 - Normal\tn{i}\tday {d:02} event {i:03}"
                      for i in range(per_day)))
        wait_until(lambda: varnel.query("SELECT COUNT(*) FROM LogFiles_Event WHERE Message "
                                        f"LIKE 'day {d:02} %'")[0][0] == per_day)
        clock.to(f"{date} 03:30:00")  # the backup hour
        with sqlite3.connect(f"file:{copy(date)}?mode=ro", uri=True) as con:
            assert con.execute("PRAGMA integrity_check").fetchall() == [("ok",)]
            assert con.execute(events).fetchall() == varnel.query(events)
        sizes.append(os.path.getsize(varnel.path("Varnel.mdb")))
    assert varnel.log(106) == [] and varnel.stop() == 0

    # Every event of every day is either still logged or exported, exactly once.
    messages = [m for (m,) in varnel.query("SELECT Message FROM LogFiles_Event")]
    with open(varnel.path("Backup/Event_old.txt"), encoding="utf-8", newline="") as f:
        lines = f.read().split("\r\n")[:-1]
    assert lines[0] == "Index\tTime\tSeverity\tSource\tMessage\tEvent Source"
    messages += [line.split("\t")[4] for line in lines[1:]]
    assert len(set(messages)) == len(messages) == days * per_day
    assert collections.Counter(m[:6] for m in messages) == {
        f"day {d:02}": per_day for d in range(days)}
    # Seven days are kept besides today's; the file stops growing once they are.
    assert len(varnel.query(events)) == 8 * per_day
    assert sizes[-1] <= sizes[10] * 1.1
    for d in range(days - 7, days):  # each weekday's copy is the one of its last day
        with sqlite3.connect(f"file:{copy(first + dt.timedelta(days=d))}?mode=ro", uri=True) as c:
            assert c.execute("SELECT MAX(Message) FROM LogFiles_Event").fetchone()[0][:6] == \
                f"day {d:02}"
