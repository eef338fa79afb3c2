"""Traps sent by snmptrap and snmpinform to the real service become events."""
from conftest import P, needs, wait_rows_of


@needs("snmptrap", "snmpinform", "snmpget", "snmpset")
def test_traps_and_informs_become_events(varnel):
    varnel.init().snmp_ports()
    varnel.add_row("Event_SNMP_MibTrap", TrapOid=f"{P}.2.0.2", TrapName="link", LogEvent=1,
                   Priority="$3", NodeName="$A", Message="$1 says $4 ($3)",
                   Var3=f"{P}.1.6.2 severity critical(1),major(2)")
    varnel.start()

    # v1 enterprise trap: enterprise, agent address, generic 6, specific 2, four variables.
    varnel.trap(f"{P}.2", "10.20.30.40", "6", "2", "", f"{P}.1.6.1", "s", "router7",
                f"{P}.1.6.9", "s", "x", f"{P}.1.6.2", "i", "2", f"{P}.1.7.4", "s", "line four",
                version="1")
    # v1 linkDown without a definition gets the generic text.
    varnel.trap("1.3.6.1.6.3.1.1.5", "127.0.0.1", "2", "0", "", "1.3.6.1.2.1.2.2.1.1.3", "i",
                "3", version="1")
    # An inform is answered (snmpinform waits for the answer) and becomes an event too.
    varnel.trap("", f"{P}.40.0.1", "1.3.6.1.2.1.1.5.0", "s", "informed", tool="snmpinform")
    # A wrong community is dropped.
    varnel.trap("", f"{P}.50.0.1", community="Public")

    wait_rows_of(varnel.events, 3)
    varnel.cycle_done()
    assert sorted(varnel.events()) == sorted([
        ("2 - Major", "10.20.30.40", "router7 says line four (major)"),
        ("5 - Normal", "127.0.0.1", "mib-2.11.0.2, [1]1.3.6.1.2.1.2.2.1.1.3(Integer): 3 "),
        ("5 - Normal", "127.0.0.1",
         "enterprises.99412.1.10.40.0.1, [1]1.3.6.1.2.1.1.5.0(OctetString): informed "),
    ])
    assert varnel.stop() == 0
