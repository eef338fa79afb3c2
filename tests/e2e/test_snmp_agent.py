"""The SNMP side driven by the net-snmp tools: walks, sets, traps, informs."""
import os
import pathlib

import pytest

from conftest import DUTY, P, needs, wait_rows_of, wait_until

pytestmark = needs("snmpget", "snmpwalk", "snmpset", "snmptrap", "snmpinform")


@pytest.fixture
def service(varnel):
    varnel.init().snmp_ports()
    varnel.set("Settings_General", Version="4.7")
    varnel.add_row("Event_SNMP_MibTrap", TrapOid=f"{P}.2.0.2", TrapName="link", LogEvent=1,
                   Priority="$3", NodeName="$A", Message="$1 says $4 ($3)",
                   Var3=f"{P}.1.6.2 severity critical(1),major(2)")
    yield varnel.start()
    assert varnel.stop() == 0, varnel.stderr()


def test_walks_of_the_system_group_and_the_private_tree(service):
    system = service.answer("snmpwalk", "1.3.6.1.2.1.1")
    assert [l.split(" = ")[0] for l in system] == [f".1.3.6.1.2.1.1.{i}.0" for i in range(1, 8)]
    assert system[0] == '.1.3.6.1.2.1.1.1.0 = STRING: "Varnel, ver 4.7"'
    assert system[1] == f".1.3.6.1.2.1.1.2.0 = OID: .{P}"
    assert system[6] == ".1.3.6.1.2.1.1.7.0 = INTEGER: 72"

    # After the last object the agent answers noSuchName, which ends a v1 walk.
    private = service.answer("snmpwalk", P, version="1")
    assert private[-1] == "End of MIB"
    assert [l.split(" = ")[0] for l in private[:-1]] == [f".{P}.1.{i}.0" for i in (
        "1.1", "1.2", "1.3", "1.4", "2.1", "4.1", "4.2", *(f"5.{n}" for n in range(1, 8)))]
    assert private[0] == f".{P}.1.1.1.0 = INTEGER: 1"
    assert private[7] == f".{P}.1.5.1.0 = INTEGER: 1"  # the trap server runs
    assert private[9] == f".{P}.1.5.3.0 = INTEGER: 1"  # the log file input


def test_sets_store_texts_and_pause_and_resume(service):
    # An empty sysName is stored and answered as one blank.
    assert service.snmp_set("1.3.6.1.2.1.1.5.0", "s", "") == [
        '.1.3.6.1.2.1.1.5.0 = STRING: " "']
    # A wrong community changes nothing.
    service.snmp("snmpset", "1.3.6.1.2.1.1.5.0", "s", "intruder", community="public")
    service.snmp("snmpset", f"{P}.1.1.1.0", "i", "2", community="wrong")
    assert service.query("SELECT SysName FROM Settings_SNMP_Agent") == [(" ",)]
    assert service.get(f"{P}.1.1.1.0") == [f".{P}.1.1.1.0 = INTEGER: 1"]

    service.snmp_set(f"{P}.1.1.1.0", "i", "2")
    wait_until(lambda: "Varnel is Paused" in service.get(f"{P}.1.1.4.0")[0])
    assert service.get(f"{P}.1.1.3.0") == [f".{P}.1.1.3.0 = INTEGER: 1"]
    service.snmp_set(f"{P}.1.1.1.0", "i", "1")
    wait_until(lambda: "Paused" not in service.get(f"{P}.1.1.4.0")[0])


def test_traps_and_informs_become_events(service):
    # v1 enterprise trap: enterprise, agent address, generic 6, specific 2, four variables.
    service.trap(f"{P}.2", "10.20.30.40", "6", "2", "", f"{P}.1.6.1", "s", "router7",
                 f"{P}.1.6.9", "s", "x", f"{P}.1.6.2", "i", "2", f"{P}.1.7.4", "s", "line four",
                 version="1")
    # v1 linkDown without a definition gets the generic text.
    service.trap("1.3.6.1.6.3.1.1.5", "127.0.0.1", "2", "0", "", "1.3.6.1.2.1.2.2.1.1.3", "i",
                 "3", version="1")
    # An inform is answered (snmpinform waits for the answer) and becomes an event too.
    service.trap("", f"{P}.40.0.1", "1.3.6.1.2.1.1.5.0", "s", "informed", tool="snmpinform")
    service.trap("", f"{P}.50.0.1", community="Public")  # dropped

    wait_rows_of(service.events, 3)
    service.cycle_done()
    assert sorted(service.events()) == sorted([
        ("2 - Major", "10.20.30.40", "router7 says line four (major)"),
        ("5 - Normal", "127.0.0.1", "mib-2.11.0.2, [1]1.3.6.1.2.1.2.2.1.1.3(Integer): 3 "),
        ("5 - Normal", "127.0.0.1",
         "enterprises.99412.1.10.40.0.1, [1]1.3.6.1.2.1.1.5.0(OctetString): informed "),
    ])


def test_resume_during_a_delivery_waits_for_the_cycle_to_end(varnel, relay):
    """The Set is answered at once; the activation's file deletion waits for the cycle."""
    held_relay = relay(hold=True)
    varnel.init().snmp_ports()
    varnel.add_mail_server("Relay", held_relay.port, TimeOut=60)
    varnel.add_row("Recv_Mail_SMTP", Name="Ops", Enabled=1, MailAddress="ops@example.org",
                   MailServer1="Relay", **DUTY)
    varnel.add_group("all", ("Ops", "MailSMTP"))
    held, late = varnel.path("SmsCmd.log"), varnel.path("SnmpMess.log")
    varnel.start()
    varnel.drop("2026-01-05 10:00:00\t2 - Major\tsw1\tport down")
    assert held_relay.in_data.wait(30), "the cycle never reached the relay"
    assert varnel.events("NodeName, Message") == [("sw1", "port down")]

    # Pause, then resume (which re-initialises): both answered at once.
    pathlib.Path(held).write_text("+4670\tSTATUS\r\n")
    assert varnel.snmp_set(f"{P}.1.1.1.0", "i", "2")[0].endswith("INTEGER: 2")
    assert varnel.snmp_set(f"{P}.1.1.1.0", "i", "1")[0].endswith("INTEGER: 1")
    pathlib.Path(late).write_text("x\r\n")
    assert os.path.exists(held) and os.path.exists(late)

    held_relay.release.set()
    # The re-initialisation runs once the cycle has delivered and logged the mail.
    wait_until(lambda: not os.path.exists(held) and not os.path.exists(late), 30,
               "the drop files deleted after the cycle")
    assert len(held_relay.mails) == 1
    assert varnel.alarms("Receiver, SendStatusInt") == [("Ops", 1)]
    assert varnel.get(f"{P}.1.1.1.0")[0].endswith("INTEGER: 1")
    assert varnel.stop() == 0, varnel.stderr()
