"""The whole road of an alarm on the real binary: an event from the drop file matches a
support group, the PhoneMO receiver gets it as SMS through the pty GSM terminal, the attempt
lands in the alarm log and is reported to a network manager as a send-status trap."""
import os
import sys
import time

import pytest

sys.path.insert(0, os.path.dirname(__file__))
from gsm_simulator import GsmSimulator  # noqa: E402

ALL_DAY = 16777215


PROTOCOLS = {
    "ETSI 07.05-PDU": ("GSM 3.38 Default",
                       ["ATZ", "AT+CMGF=0", 'AT+CSCS="GSM"', "AT+CSMS=0", 'AT+CSCA="+4670000"',
                        "AT+CSQ"]),
    "ETSI 07.05-PDU SCA": ("GSM 3.38 Default",
                           ["ATZ", "AT+CMGF=0", 'AT+CSCS="GSM"', "AT+CSMS=0", "AT+CSQ"]),
    "ETSI 07.05-TEXT": ("GSM 3.38 Default",
                        ["ATZ", "AT+CMGF=1", 'AT+CSCS="GSM"', "AT+CSMP=17,167,0,0", "AT+CSQ",
                         'AT+CSCA="+4670000"', 'AT+CMGS="+46700"']),
    "TETRA SDS4-TEXT": ("TETRA 8859-1",
                        ["ATZ", "AT+CTSDS=12,0", "AT+CMGF=8", 'AT+CSCS="8859-1"', "AT+CTSP=1,2",
                         "AT+CSQ", 'AT+CMGS="46700"']),
}


def configure(varnel, trap_port, protocol):
    varnel.init()
    varnel.set("Event_CheckInterval", CheckInterval=5, SendDate=0, SendTime=0, SendNodeName=1,
               SendNodeNameMaxChar=50, SendPriority=0, SendMessage=1, SendMessageMaxChar=250,
               ForwardSendStatusAsTrap=1, TrapIpAddress="127.0.0.1", TrapUdpPort=trap_port,
               TrapCommunity="nms", TrapProtocol="SNMPv1 Trap")
    varnel.set("Settings_Modem", CommPort=1, ModemInitString="ATZ", ModemSpeed="9600",
               ModemSettings="n,8,1", ModemCommDelays="Short", Retries=1)
    duty = {f"DutyTime{d}": ALL_DAY for d in ("Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun")}
    with varnel.db() as con:
        con.execute("INSERT INTO Settings_Oper_Phone_MO (Name, Protocol, TerminalNumber, "
                    "ModemInitString, ModemSpeed, ModemSettings, MaxChar, CharSet) VALUES "
                    "('Alpha', ?, '+4670000', 'ATZ', '9600', 'n,8,1', 160, ?)",
                    (protocol, PROTOCOLS[protocol][0]))
        cols = ", ".join(duty)
        marks = ", ".join("?" for _ in duty)
        con.execute(f"INSERT INTO Recv_Phone_MO (Name, Enabled, PhoneNumber, Operator, {cols}) "
                    f"VALUES ('Ops', 1, '46700', 'Alpha', {marks})", tuple(duty.values()))
        con.execute(
            f"INSERT INTO SuppGrp_Perm (Name, Enabled, Priority, PrioritySearch, NodeName, "
            f"NodeNameSearch, Message, MessageSearch, RecvName1, RecvType1, RecvName2, RecvName3, "
            f"RecvName4, RecvName5, {cols}) VALUES ('Network', 1, '3 - Minor', '<=', 'core*', '=', "
            f"'*', '=', 'Ops', 'PhoneMO', 'None', 'None', 'None', 'None', {marks})",
            tuple(duty.values()))


def drop(varnel, lines):
    with open(varnel.path("Event.log.tmp"), "w") as f:
        f.write("".join(line + "\r\n" for line in lines))
    os.rename(varnel.path("Event.log.tmp"), varnel.path("Event.log"))


@pytest.mark.parametrize("protocol", sorted(PROTOCOLS))
def test_event_reaches_the_phone_the_alarm_log_and_the_manager(varnel, snmptrapd, protocol):
    trap_port, trap_log = snmptrapd
    configure(varnel, trap_port, protocol)
    with GsmSimulator(os.path.join(varnel.home, "ports", "COM1")) as sim:
        sim.signal = "17,99"
        varnel.start()
        drop(varnel, ["2026-06-26 10:00:00\t2 - Major\tcore1\tlink down",
                      "2026-06-26 10:00:01\t5 - Normal\tcore1\tlink up",   # priority too low
                      "2026-06-26 10:00:02\t1 - Critical\tedge7\tfan failed"])  # node filter
        assert sim.wait_for(lambda s: len(s.sent) >= 1, timeout=30)
        time.sleep(0.5)
        assert len(sim.sent) == 1
        commands = PROTOCOLS[protocol][1]
        assert sim.commands[:len(commands)] == commands
        deadline = time.monotonic() + 10
        rows = []
        while time.monotonic() < deadline and not rows:
            rows = varnel.query("SELECT Receiver, SendType, Message, SendStatusInt, SendStatus "
                                "FROM LogFiles_Alarm")
            time.sleep(0.1)
    assert rows == [("Ops", "PhoneMO", "core1, link down", 1,
                     "ALPHA[SS=17]: Message sent to receiver.")]
    sent = sim.sent[0]
    if sent["mode"] == "pdu":
        gammu = pytest.importorskip("gammu")
        decoded = gammu.DecodePDU(bytes.fromhex((sent["sca"] or "00") + sent["tpdu"]), SMSC=True)
        assert (decoded["Number"], decoded["Text"]) == ("+46700", "core1, link down")
    else:
        assert sent["text"] == "core1, link down"
    deadline = time.monotonic() + 10
    traps = []
    while time.monotonic() < deadline and not traps:
        traps = [l for l in trap_log.read_text().splitlines() if l.startswith("TRAP")]
        time.sleep(0.1)
    assert len(traps) == 1, trap_log.read_text()
    assert '.1.3.6.1.4.1.99412.1.10.1.3.1 = STRING: "Ops"' in traps[0]
    assert '.1.3.6.1.4.1.99412.1.10.1.3.2 = STRING: "core1, link down"' in traps[0]
    assert ".1.3.6.1.4.1.99412.1.10.1.3.4 = INTEGER: 1" in traps[0]
    assert varnel.stop() == 0
