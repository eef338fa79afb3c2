"""The SNMP agent of the real service, driven by snmpget, snmpwalk and snmpset, and a standby
system woken by the first Get."""
import os
import time

import pytest

from conftest import P, needs, wait_rows_of, wait_until

pytestmark = needs("snmpget", "snmpwalk", "snmpset", "snmptrap")


@pytest.fixture
def service(varnel):
    varnel.init().snmp_ports()
    varnel.set("Settings_General", Version="4.7")
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
    assert [l.split(" = ")[0] for l in private[:-1]] == (
        [f".{P}.1.1.{i}.0" for i in (1, 2, 3, 4)] + [f".{P}.1.2.1.0", f".{P}.1.4.1.0",
                                                     f".{P}.1.4.2.0"] +
        [f".{P}.1.5.{i}.0" for i in range(1, 8)])
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

    # Pause and resume through the run state.
    service.snmp_set(f"{P}.1.1.1.0", "i", "2")
    wait_until(lambda: "Varnel is Paused" in service.get(f"{P}.1.1.4.0")[0])
    assert service.get(f"{P}.1.1.3.0") == [f".{P}.1.1.3.0 = INTEGER: 1"]
    service.snmp_set(f"{P}.1.1.1.0", "i", "1")
    wait_until(lambda: "Paused" not in service.get(f"{P}.1.1.4.0")[0])


DROP_FILES = ["Event.log", "SmtpMess.log", "SnmpMess.log", "SmsCmd.log", "Hold_Queue.log",
              "ReqAck.log"]


def test_standby_pauses_and_the_next_get_activates_it(varnel):
    varnel.init().snmp_ports()
    with open(varnel.path("Varnel.ini"), "w") as f:
        f.write("PRIMARYSYSTEM=false\n")
    varnel.set("Settings_SNMP_Agent", PollMe=1, PollMeTimeout=30)  # six ticks of 100 ms
    varnel.add_row("Receiver_Test", Name="left over")
    varnel.start()
    # Nobody polls: after the watchdog runs out the standby pauses. A trap that arrives
    # then is queued but never becomes an event.
    time.sleep(2.5)
    varnel.trap("", f"{P}.2.0.2", "1.3.6.1.2.1.1.5.0", "s", "while paused")
    for name in DROP_FILES:
        with open(varnel.path(name), "w") as f:
            f.write("x\r\n")
    time.sleep(1.0)
    assert varnel.events() == []

    # The first Get activates it: running, countdown restarted, drop files deleted.
    assert varnel.get(f"{P}.1.1.1.0", f"{P}.1.1.2.0") == [f".{P}.1.1.1.0 = INTEGER: 1",
                                                          f".{P}.1.1.2.0 = INTEGER: 5"]
    assert [n for n in DROP_FILES if os.path.exists(varnel.path(n))] == []
    assert varnel.query("SELECT COUNT(*) FROM Receiver_Test") == [(0,)]

    # Active again: a new trap becomes an event; the one from the pause was dropped.
    varnel.trap("", f"{P}.2.0.3", "1.3.6.1.2.1.1.5.0", "s", "after wake-up")
    wait_rows_of(varnel.events, 1)
    varnel.cycle_done()
    assert [r[2] for r in varnel.events()] == [
        "enterprises.99412.1.10.2.0.3, [1]1.3.6.1.2.1.1.5.0(OctetString): after wake-up "]
    assert varnel.stop() == 0
