"""SMS through the pty GSM terminal simulator, both ways."""
import pytest

from conftest import DUTY, gsm_modem, needs, wait_rows_of, wait_until

GSM, PDU = "GSM 3.38 Default", ["ATZ", "AT+CMGF=0", 'AT+CSCS="GSM"', "AT+CSMS=0"]
PROTOCOLS = {  # character set, first commands of the session
    "ETSI 07.05-PDU": (GSM, PDU + ['AT+CSCA="+4670000"', "AT+CSQ"]),
    "ETSI 07.05-PDU SCA": (GSM, PDU + ["AT+CSQ"]),
    "ETSI 07.05-TEXT": (GSM, ["ATZ", "AT+CMGF=1", 'AT+CSCS="GSM"', "AT+CSMP=17,167,0,0",
                              "AT+CSQ", 'AT+CSCA="+4670000"', 'AT+CMGS="+46700"']),
    "TETRA SDS4-TEXT": ("TETRA 8859-1", ["ATZ", "AT+CTSDS=12,0", "AT+CMGF=8", 'AT+CSCS="8859-1"',
                                         "AT+CTSP=1,2", "AT+CSQ", 'AT+CMGS="46700"']),
}


@pytest.mark.parametrize("protocol", sorted(PROTOCOLS))
def test_event_reaches_the_phone_and_the_alarm_log(varnel, protocol):
    sim = gsm_modem(varnel.init(), Protocol=protocol, MaxChar=10,
                    CharSet=PROTOCOLS[protocol][0])
    varnel.set("Event_CheckInterval", SendDate=0, SendTime=0, SendNodeName=1,
               SendNodeNameMaxChar=50, SendPriority=0, SendMessage=1, SendMessageMaxChar=250)
    varnel.add_row("Recv_Phone_MO", Name="Ops", Enabled=1, PhoneNumber="46700",
                   Operator="Alpha", **DUTY)
    varnel.add_group("Network", ("Ops", "PhoneMO"), Priority="3 - Minor", NodeName="core*")
    with sim:
        varnel.start()
        varnel.drop("2026-06-26 10:00:00\t2 - Major\tcore1\tlink down",
                    "2026-06-26 10:00:01\t5 - Normal\tcore1\tlink up",  # priority too low
                    "2026-06-26 10:00:02\t1 - Critical\tedge7\tfan failed")  # node filter
        rows = wait_rows_of(lambda: varnel.alarms("Receiver, SendType, Message, SendStatusInt, "
                                                  "SendStatus"), 1, timeout=30)
        assert sim.commands[:len(PROTOCOLS[protocol][1])] == PROTOCOLS[protocol][1]
    assert rows == [("Ops", "PhoneMO", "core1, link down", 1,
                     "ALPHA[SS=17]: Message sent to receiver.")]
    (sent,) = sim.sent
    if sent["mode"] == "pdu":
        gammu = pytest.importorskip("gammu")
        decoded = gammu.DecodePDU(bytes.fromhex((sent["sca"] or "00") + sent["tpdu"]), SMSC=True)
        assert (decoded["Number"], decoded["Text"]) == ("+46700", "core1, lin")
    else:
        assert sent["text"] == "core1, lin"  # cut to the operator's MaxChar
    assert varnel.stop() == 0


@needs(faketime=True)
def test_waiting_messages_are_cleared_at_start_and_then_read_as_commands(varnel):
    sim = gsm_modem(varnel.init())
    varnel.set("Settings_General", DebugMode="Modem Communication")
    varnel.set("Event_SMS", Enabled=1, PMS="SIM", Protocol="ETSI 07.05-PDU SCA")

    with sim:
        sim.store_sms("+46701234567", "left from before")
        sim.store_sms("+4670123", "1")
        # Just before a minute turns, so the once-a-minute read comes soon.
        varnel.start(faketime="@2026-06-26 10:14:50",
                     extra_env={"FAKETIME_DONT_FAKE_MONOTONIC": "1"})
        wait_until(lambda: varnel.query("SELECT Status FROM Event_SMS")[0][0].endswith(
            "\r\nSMS Server Started\r\n"), 30)
        assert sim.messages == {}
        assert sim.commands == ["ATZ", "AT+CMGF=0", "AT+CSMS=0", 'AT+CPMS="SM"', "AT+CMGL=4",
                                "AT+CMGD=1", "AT+CMGD=2"]
        sim.store_sms("+46701234567", "ACK 901")
        sim.store_sms("+4670123", "Åsa [ok] {1}")
        # The command handler takes the lines of the command file at once: each is an event.
        sms = lambda: [r[1:] for r in varnel.events("EventSource, NodeName, Message")
                       if r[0] == "SMS"]
        wait_until(lambda: len(sms()) >= 2, 70)
        assert sms() == [("46701234567", "ACK 901"), ("4670123", "Åsa [ok] {1}")]
        wait_until(lambda: sim.messages == {}, what="the read messages deleted")
    assert varnel.stop() == 0
    trace = varnel.read("Debug/Modem_Communication.txt")
    assert "############ Start of Session ############" in trace
    assert trace.rstrip().endswith("Set DTR to False --> OK.")
