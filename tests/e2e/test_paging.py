"""Dial-up paging and numeric pagers through the pty paging-centre simulator, on a clock
running ten times fast so that the protocol time-outs pass quickly."""
import pytest

from conftest import DUTY, wait_rows_of
from paging_simulator import PagingSimulator

FAST = "+0 x10"
RECEIVERS = {  # receiver table, number column
    "PhoneDA": ("Recv_Phone_Dialup", "PhoneNumber"),
    "PagerAlfa": ("Recv_Pager_Alfa", "PagerNumber"),
    "PagerNum": ("Recv_Pager_Num", "PagerNumber"),
}


def paging(varnel, centre, recv_type="PagerAlfa", number="123", oper=None, receiver=None,
          **modem):
    """A modem on COM1, a receiver of the type and a group that sends it every event."""
    varnel.init()
    varnel.set("Settings_Modem", **{**dict(
        CommPort=1, DialPrefix="ATDT", ModemInitString="ATZ", ModemSpeed="9600",
        ModemSettings="n,8,1", ModemCommDelays="Short", Retries=1, TimeOut=5), **modem})
    varnel.set("Settings_General", DebugMode="Modem Communication")
    varnel.set("Event_CheckInterval", SendDate=0, SendTime=0, SendNodeName=1,
               SendNodeNameMaxChar=50, SendPriority=0, SendMessage=1, SendMessageMaxChar=250)
    table, column = RECEIVERS[recv_type]
    varnel.add_row(table, Name="Ops", Enabled=1, **{column: number}, **DUTY,
                   **({} if recv_type == "PagerNum" else {"Operator": "Alpha"}), **(receiver or {}))
    varnel.add_group("Network", ("Ops", recv_type))
    if oper is not None:
        varnel.add_row("Settings_Oper_Phone_Dialup" if recv_type == "PhoneDA"
                       else "Settings_Oper_Pager_Alfa", **{**dict(
                           Name="Alpha", TerminalNumber="0740", ModemInitString="AT&F",
                           ModemSpeed="9600", ModemSettings="n,8,1", MaxChar=40,
                           CharSet="IA5 International"), **oper})
    return PagingSimulator(varnel.path("ports/COM1"), centre)


def deliver(varnel, sim, message="core1, link down", timeout=60):
    """Starts the service, hands it one event and gives the alarm-log row of its delivery."""
    with sim:
        varnel.start(faketime=FAST)
        varnel.drop("2026-06-26 10:00:00\t2 - Major\t" + message.replace(", ", "\t", 1))
        rows = wait_rows_of(lambda: varnel.alarms("SendType, SendStatusInt, SendStatus"), 1,
                            timeout)
    assert varnel.stop() == 0
    return rows[0]


def test_tap_pages_the_pager_and_logs_the_centres_reply(varnel):
    sim = paging(varnel, "tap", oper=dict(Protocol="TAP", LogonPassword="secret",
                                          WaitAfterConnect=40))  # taken as 32 seconds
    assert deliver(varnel, sim) == ("PagerAlfa", 1, "ALPHA: Message accepted")
    assert (sim.commands[:2], sim.logons) == (["AT&F", "ATDT0740"], ["PG1secret"])
    assert sim.pages == [dict(protocol="TAP", number="123", text="core1, link down")]


UCP = {  # engine: centre, operator columns, simulator settings, page fields, status
    "UCP-01": ("ucp", dict(Protocol="UCP-01"), {}, dict(type="3"),
               (1, "ALPHA: Message sent to receiver.")),
    "UCP-01 via PAD": ("pad", dict(Protocol="UCP-01 via PAD"), {}, dict(type="3"),
                       (1, "ALPHA: Message sent to receiver.")),
    "UCP-30 unconfirmed": ("ucp", dict(Protocol="UCP-30"), {}, dict(notify="0"),
                           (2, "ALPHA: <STX>01/00019/R/30/A//6B<ETX>")),
    "UCP-30 notified": ("ucp", dict(Protocol="UCP-30", ConfirmedDelivery=1),
                        dict(notification="Delivered 10:15"), dict(notify="1"),
                        (1, "ALPHA: Delivered 10:15")),
    "UCP-30 unanswered": ("ucp", dict(Protocol="UCP-30", ConfirmedDelivery=1),
                          dict(faults={"silent"}), dict(notify="1"),
                          (2, "ALPHA: Response1 Time Out.")),
    "UCP-30 never notified": ("ucp", dict(Protocol="UCP-30", ConfirmedDelivery=1), {},
                              dict(notify="1"), (2, "ALPHA: Delivery status unknown.")),
}


@pytest.mark.parametrize("engine", UCP)
def test_ucp_engines_reach_the_phone_and_report_what_the_centre_says(varnel, engine):
    centre, oper, settings, fields, status = UCP[engine]
    sim = paging(varnel, centre, "PhoneDA", oper=dict(LogonID="0", LogonPassword="9", **oper))
    vars(sim).update(settings)
    assert deliver(varnel, sim) == ("PhoneDA",) + status
    (page,) = sim.pages
    assert page == dict(protocol=oper["Protocol"][:6], number="123", originator="0", code="9",
                        text="core1, link down", **fields)
    if settings.get("notification"):
        assert sim.acks == ["05/00019/R/01/A//" + "%02X" % (sum(b"05/00019/R/01/A//") % 256)]


ESPA = dict(Protocol="ESPA 4.4.4", ModemInitString="1", TerminalNumber="")  # poll address 2


def test_espa_paging_system_on_its_serial_port(varnel):
    sim = paging(varnel, "espa", oper=ESPA)
    assert deliver(varnel, sim) == ("PagerAlfa", 1, "ALPHA: Message sent to receiver.")
    assert sim.pages == [dict(protocol="ESPA", number="123", text="core1, link down")]
    assert sim.commands == []  # no modem on the line


@pytest.mark.parametrize("mo_calling, code, faults, dialled, tones, status", [
    (0, ",,55", set(), ["0740,,55"], [], (1, "PAGER NUM: 55 sent to pager.")),
    (1, ",,123", set(), ["0740;"], ["123"], (1, "PAGER NUM: 123 sent to pager.")),
    # A busy line fails the page after every retry.
    (0, "55", {"busy"}, ["074055"] * 2, [], (3, "PAGER NUM: Error calling pager.")),
])
def test_numeric_pager_gets_its_code_by_digits_or_tones(varnel, mo_calling, code, faults,
                                                        dialled, tones, status):
    sim = paging(varnel, None, "PagerNum", number="0740",
                 receiver=dict(MoCalling=mo_calling, SendCode=code, DelayTime=2))
    sim.faults |= faults
    assert deliver(varnel, sim) == ("PagerNum",) + status
    assert (sim.dialled, sim.tones) == (dialled, tones)
    assert faults or sim.commands[-1] == ("AT+CHUP" if mo_calling else "ATH")


TAP = dict(Protocol="TAP")
UCP01 = dict(Protocol="UCP-01")
TIME_OUT = "ALPHA: Response Time Out."
FAILURES = [  # centre, operator, fault switches, status text, trace line
    ("tap", TAP, {"busy"}, "ALPHA: Line Busy.", None),
    ("tap", TAP, {"dial silent"}, "ALPHA: Dial Time Out.", None),
    ("tap", TAP, {"init silent"}, "MODEM: Error when sending AT&F<CR> to modem.", None),
    ("tap", TAP, {"logon nak"}, "ALPHA: Login rejected.", None),
    ("tap", TAP, {"no prompt"}, TIME_OUT, "Response1 Time Out."),
    ("tap", TAP, {"block silent"}, TIME_OUT, "Response4 Time Out."),
    ("tap", TAP, {"block nak"}, "ALPHA: Message rejected", None),
    ("ucp", UCP01, {"nack 01"}, "ALPHA: Error[01] Checksum error.", None),
    ("ucp", UCP01, {"nack 24"}, "ALPHA: Error[24] <STX>01/00022/R/01/N/24//05<ETX>", None),
    ("espa", ESPA, {"poll silent"}, "ALPHA: Error when sending Poll Sequence.", None),
    ("espa", ESPA, {"block silent"}, "ALPHA: Error when sending Paging Block.", None),
    # Centres that misbehave and a line that drops: each ends within its waits.
    ("tap", TAP, {"drop carrier"}, TIME_OUT, "Response4 Time Out."),
    ("ucp", UCP01, {"no etx"}, TIME_OUT, "Response Time Out."),
    ("pad", dict(Protocol="UCP-01 via PAD"), {"flood"}, TIME_OUT, "Response Time Out."),
]


@pytest.mark.parametrize("centre, oper, faults, text, trace", FAILURES,
                         ids=[" ".join(sorted(f[2])) + " " + f[0] for f in FAILURES])
def test_each_failure_ends_the_session_with_its_text_and_the_port_closed(varnel, centre, oper,
                                                                         faults, text, trace):
    sim = paging(varnel, centre, oper=oper)
    sim.faults |= faults
    assert deliver(varnel, sim, timeout=120) == ("PagerAlfa", 3, text)
    lines = varnel.read("Debug/Modem_Communication.txt").splitlines()
    assert lines[-2:] == [lines[-2][:19] + "    Close Port --> OK.",
                          lines[-1][:19] + "    Set DTR to False --> OK."]
    assert trace is None or any(line.endswith("    " + trace) for line in lines)
