"""The SNMP agent of the real service, driven by snmpget, snmpwalk and snmpset."""

import pytest

from snmp_helpers import P, Varnel, wait_for


@pytest.fixture
def service(tmp_path):
    v = Varnel(tmp_path / "home")
    v.set("Settings_General", Version="4.7")
    v.start()
    yield v
    rc, stderr = v.stop()
    assert rc == 0, stderr


def lines(result):
    assert result.returncode == 0, result.stderr
    return result.stdout.strip().splitlines()


def test_walk_get_and_getnext(service):
    # A walk of the system group: GetNext of the prefix answers sysDescr.0, and the walk
    # stops at the first object outside the subtree.
    system = lines(service.snmp("snmpwalk", "1.3.6.1.2.1.1"))
    assert [l.split(" = ")[0] for l in system] == [f".1.3.6.1.2.1.1.{i}.0" for i in range(1, 8)]
    assert system[0] == '.1.3.6.1.2.1.1.1.0 = STRING: "Varnel, ver 4.7"'
    assert system[1] == ".1.3.6.1.2.1.1.2.0 = OID: .1.3.6.1.4.1.99412.1.10"
    assert system[6] == ".1.3.6.1.2.1.1.7.0 = INTEGER: 72"

    # After the last object the agent answers noSuchName, which ends the walk.
    private = lines(service.snmp("snmpwalk", P, version="1"))
    assert private[-1] == "End of MIB"
    private = private[:-1]
    assert [l.split(" = ")[0] for l in private] == [
        f".{P}.1.1.{i}.0" for i in (1, 2, 3, 4)] + [f".{P}.1.2.1.0", f".{P}.1.4.1.0",
                                                    f".{P}.1.4.2.0"] + [
        f".{P}.1.5.{i}.0" for i in range(1, 8)]
    assert private[0] == f".{P}.1.1.1.0 = INTEGER: 1"
    assert private[7] == f".{P}.1.5.1.0 = INTEGER: 1"  # the trap server runs
    assert private[9] == f".{P}.1.5.3.0 = INTEGER: 1"  # the log file input

    last = service.snmp("snmpgetnext", f"{P}.1.5.7.0", version="1")
    assert "noSuchName" in last.stderr or "End of MIB" in last.stdout + last.stderr

    # Base OID and instance both answer sysUpTime.0, in both versions.
    for version in ("1", "2c"):
        out = lines(service.snmp("snmpget", "1.3.6.1.2.1.1.3", "1.3.6.1.2.1.1.3.0",
                                 version=version))
        assert [l.split(" = ")[0] for l in out] == [".1.3.6.1.2.1.1.3.0"] * 2
        assert all("Timeticks" in l for l in out)

    missing = service.snmp("snmpget", "1.3.6.1.2.1.1.9.0", version="1")
    assert "noSuchName" in missing.stderr


def test_set_requests(service):
    # An empty sysName is stored and answered as one blank.
    out = lines(service.snmp("snmpset", "1.3.6.1.2.1.1.5.0", "s", "", community="private"))
    assert out == ['.1.3.6.1.2.1.1.5.0 = STRING: " "']
    assert service.column("Settings_SNMP_Agent", "SysName") == " "

    bad = service.snmp("snmpset", f"{P}.1.4.1.0", "i", "5", community="private", version="1")
    assert "badValue" in bad.stderr
    ro = service.snmp("snmpset", "1.3.6.1.2.1.1.3.0", "t", "0", community="private",
                      version="1")
    assert "readOnly" in ro.stderr

    # A wrong community changes nothing.
    service.snmp("snmpset", "1.3.6.1.2.1.1.5.0", "s", "intruder", community="public")
    service.snmp("snmpset", f"{P}.1.1.1.0", "i", "2", community="wrong")
    assert service.column("Settings_SNMP_Agent", "SysName") == " "
    assert lines(service.snmp("snmpget", f"{P}.1.1.1.0")) == [f".{P}.1.1.1.0 = INTEGER: 1"]

    # Pause and resume through the run state.
    lines(service.snmp("snmpset", f"{P}.1.1.1.0", "i", "2", community="private"))
    assert wait_for(lambda: "Varnel is Paused" in service.snmp("snmpget", f"{P}.1.1.4.0").stdout)
    assert lines(service.snmp("snmpget", f"{P}.1.1.3.0")) == [f".{P}.1.1.3.0 = INTEGER: 1"]
    lines(service.snmp("snmpset", f"{P}.1.1.1.0", "i", "1", community="private"))
    assert wait_for(lambda: "Paused" not in service.snmp("snmpget", f"{P}.1.1.4.0").stdout)


def test_update_request_makes_the_next_cycle_reread_the_settings(service):
    service.set("Settings_General", DebugMode="Event Sources")
    trace = service.home / "Debug" / "Event_SnmpTrap.txt"
    service.trap("", f"{P}.2.0.2")
    assert service.cycle_done()  # the set inside re-reads: traces are on from now
    service.trap("", f"{P}.2.0.3")
    assert wait_for(lambda: trace.exists() and f"{P}.2.0.3" in trace.read_text())
    assert f"{P}.2.0.2" not in trace.read_text()
