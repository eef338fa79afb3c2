"""Acknowledgement requests and SMS commands through the pty GSM terminal."""
import os

from conftest import DUTY, P, SteppedClock, gsm_modem, needs, program, wait_rows_of, wait_until

RUNPROG = 'noack.sh "$N" $A $O "$M"'
ALARM = "<ID=901> core1, link down"


def gsm_setup(varnel, tmp_path, trap_port=None, sms=None, **group):
    """Ops on 46700 alarmed by the group Network for every event, the SMS reader when sms
    gives its columns; returns the simulator and a frozen clock."""
    sim = gsm_modem(varnel.init())
    varnel.set("Event_CheckInterval", SendDate=0, SendTime=0, SendNodeName=1,
               SendNodeNameMaxChar=50, SendPriority=0, SendMessage=1, SendMessageMaxChar=250)
    if trap_port:
        varnel.set("Event_CheckInterval", ForwardSendStatusAsTrap=1, TrapIpAddress="127.0.0.1",
                   TrapUdpPort=trap_port, TrapCommunity="nms", TrapProtocol="SNMPv2 Trap")
    if sms is not None:
        varnel.set("Event_SMS", Enabled=1, PMS="SIM", Protocol="ETSI 07.05-PDU SCA", **sms)
    varnel.add_row("Recv_Phone_MO", Name="Ops", Enabled=1, PhoneNumber="46700",
                   Operator="Alpha", **DUTY)
    varnel.add_group("Network", ("Ops", "PhoneMO"), **group)
    program(varnel, "noack.sh", "printf '%s|' \"$@\" > noack.txt")
    return sim, SteppedClock(varnel, tmp_path, frozen=True)


def start_and_alarm(varnel, clock, sim):
    clock.start("2026-06-26 10:00:00", tick_ms=100)
    varnel.drop("2026-06-26 10:00:00\t2 - Major\tcore1\tlink down")
    wait_until(lambda: len(sim.sent) == 1 and varnel.alarms(), 30, "the alarm SMS and its row")


def sent_texts(sim):
    return [(s["number"].lstrip("+"), s["text"]) for s in sim.sent]


@needs(faketime=True)
def test_an_answer_acknowledges_the_alarm_in_the_log_the_request_file_and_a_trap(
        varnel, tmp_path, snmptrapd):
    sim, clock = gsm_setup(varnel, tmp_path, trap_port=snmptrapd.port, sms={}, ReqAck=1,
                           ReqAckWait=5, ReqAckMaxRem=2)
    with sim:
        start_and_alarm(varnel, clock, sim)
        assert sent_texts(sim) == [("46700", ALARM)]
        assert f"Network\t901\t2026-06-26 10:05:00\t2\t{ALARM}" in varnel.read("ReqAck.log")
        sim.store_sms("+46700", "901 3 Fixed")
        clock.set("2026-06-26 10:01:00")  # the next minute reads the terminal
        rows = wait_rows_of(lambda: varnel.query(
            "SELECT AlarmID, Receiver, AckStatus, AckInfo FROM LogFiles_ReqAck"), 1, timeout=30)
    assert rows == [(901, "Ops", 3, "Fixed")]
    assert not os.path.exists(varnel.path("ReqAck.log"))
    trap = snmptrapd.wait(2)[1]  # after the send status trap of the alarm
    for var in ("1.3.6.1.6.3.1.1.4.1.0 = OID: .1.3.6.1.4.1.99412.1.10.2.0.3",
                f"{P}.1.7.1 = INTEGER: 901", f'{P}.1.7.2 = STRING: "Ops"',
                f"{P}.1.7.3 = INTEGER: 3", f'{P}.1.7.4 = STRING: "Fixed"'):
        assert var in trap
    assert varnel.stop() == 0


@needs(faketime=True)
def test_without_an_answer_reminders_come_a_wait_apart_and_the_last_runs_the_program(
        varnel, tmp_path):
    sim, clock = gsm_setup(varnel, tmp_path, ReqAck=1, ReqAckWait=5, ReqAckMaxRem=2,
                           ReqAckNoAck=1, ReqAckRunProg=RUNPROG)
    varnel.snmp_ports()
    alarms = lambda: varnel.alarms("Message, SendStatus")
    with sim:
        start_and_alarm(varnel, clock, sim)
        for now, rows in (("10:04:59", 1), ("10:05:01", 2), ("10:10:00", 2), ("10:10:02", 4),
                          ("10:30:00", 4)):
            clock.set("2026-06-26 " + now)
            varnel.cycle_done()
            wait_rows_of(alarms, rows, timeout=30)
            varnel.cycle_done()
            assert len(alarms()) == rows, now
    sent = "ALPHA[SS=17]: Message sent to receiver."
    assert alarms() == [(ALARM, sent)] * 3 + [(ALARM, "RUNPROG: Program executed successfully.")]
    assert sent_texts(sim) == [("46700", ALARM)] * 3
    assert varnel.read("ExecProg/noack.txt") == "Ops|901|Alpha|core1, link down|"
    assert not os.path.exists(varnel.path("ReqAck.log"))
    assert varnel.stop() == 0


@needs(faketime=True)
def test_program_requests_answer_known_senders_and_texts_become_events(varnel, tmp_path):
    sim, clock = gsm_setup(varnel, tmp_path, sms=dict(
        SIL=1, WaitForReply=1, WaitForReplyTime=1, ExecProg2="host.sh", ExecProg3="forever.sh"))
    program(varnel, "host.sh", "echo \"$@\" >> args.txt; echo \"status of $1:\" > reply.sms\n"
            "for i in $(seq 0 15); do echo \"line $i ok\" >> reply.sms; done")
    program(varnel, "forever.sh", "exec sleep 1000")
    varnel.snmp_ports()
    with sim:
        clock.start("2026-06-26 10:00:00", tick_ms=100)
        for sender, text in (("+4699999", "2 intruder"), ("+4699999", "hello there"),
                             ("+46700", "all quiet"), ("+46700", "2 host1")):
            sim.store_sms(sender, text)
        clock.set("2026-06-26 10:01:00")
        wait_until(lambda: len(sim.sent) == 2, 30, "the reply and the alarm of the known text")
        # A program that never ends is stopped; the line after it waits for the next minute.
        sim.store_sms("+46700", "3")
        sim.store_sms("+46700", "905 2 working")
        clock.set("2026-06-26 10:02:00")
        wait_until(lambda: len(sim.sent) == 3, 60, "the answer to the endless program")
        varnel.cycle_done()  # the minute of the endless program is over
        assert varnel.read("SmsCmd.log").splitlines() == ["46700\t905 2 working"]
        assert varnel.query("SELECT * FROM LogFiles_ReqAck") == []
        clock.set("2026-06-26 10:03:00")
        rows = wait_rows_of(lambda: varnel.query(
            "SELECT AlarmID, Receiver, AckStatus, AckInfo FROM LogFiles_ReqAck"), 1)
    assert rows == [(905, "Ops", 2, "working")]  # recorded although nothing was pending
    reply = "status of host1:" + "".join(f"line {i} ok" for i in range(16))
    # Only the known sender's text reached the group (through Event.log).
    assert sent_texts(sim) == [("46700", reply[:160]), ("46700", "46700, all quiet"),
                               ("46700", "NoReply: reply.sms not found")]
    assert varnel.read("ExecProg/args.txt") == "host1\n"  # the intruder ran nothing
    assert [r for r in varnel.events("NodeName, Message, EventSource") if r[0] == "4699999"] == [
        ("4699999", "2 intruder", "SMS"), ("4699999", "hello there", "SMS")]
    assert varnel.stop() == 0
