"""Event intake: Syslog from util-linux logger (UDP, TCP, RFC 3164 and 5424) forwarded as
traps."""
import subprocess

from conftest import P, needs, wait_rows_of


def logger(port, *options, text=None):
    subprocess.run(["logger", "-n", "127.0.0.1", "-P", str(port), *options],
                   input=text, text=True, check=True, timeout=10)


@needs("logger", "snmptrapd")
def test_syslog_over_udp_and_tcp_becomes_events_and_traps(varnel, snmptrapd):
    varnel.init()
    udp = varnel.syslog("UDP", ModParse3164=1, ModRemoveDAT=1, ForwardSysLogAsTrap=1,
                        TrapIpAddress="127.0.0.1", TrapUdpPort=snmptrapd.port,
                        TrapCommunity="nms", TrapProtocol="SNMPv2 Trap")
    tcp = varnel.syslog("TCP", listener=2)
    varnel.start()
    status = varnel.query("SELECT Status1, Status2 FROM Event_SysLog")[0]
    assert f"Syslog Server Started\r\nIP=127.0.0.1\r\nPort={udp}\r\n" in status[0]
    assert f"Port={tcp}\r\n" in status[1]

    logger(udp, "--rfc3164", "-d", "-p", "auth.crit", "-t", "su", "'su root' failed")
    assert wait_rows_of(varnel.events, 1) == [("2 - Major", "127.0.0.1", "su: 'su root' failed")]
    trap = snmptrapd.wait(1)[0]
    assert trap.startswith("TRAP v=1 ") and f".1.3.6.1.6.3.1.1.4.1.0 = OID: .{P}.2.0.2" in trap
    for var in ('1 = STRING: "127.0.0.1"', "2 = INTEGER: 2", "3 = STRING: \"su: 'su root' failed"):
        assert f".{P}.1.6.{var}" in trap

    # logger -T keeps one connection and sends every input line as one message.
    logger(tcp, "--rfc3164", "-T", "-p", "local0.err", "-t", "rtr",
           text="".join(f"link {i} down\n" for i in range(1, 21)))
    rows = wait_rows_of(varnel.events, 21)[1:]
    assert rows == [("3 - Minor", "127.0.0.1", f"rtr: link {i} down") for i in range(1, 21)]
    assert varnel.stop() == 0


@needs("logger")
def test_rfc5424_and_rfc3164_give_the_same_events(varnel):
    varnel.init()
    udp = varnel.syslog("UDP", ModParse3164=1, ModRemoveDAT=1, LogSourceAs="Name (RFC 3164)")
    tcp = varnel.syslog("TCP", listener=2)
    varnel.start()
    sent = [(udp, "-d"), (udp, "-d", "--rfc3164"), (tcp, "-T"), (tcp, "-T", "--rfc3164")]
    for n, (port, *transport) in enumerate(sent, 1):
        # One at a time: the same event twice in one cycle would be removed as a duplicate.
        logger(port, *transport, "-p", "daemon.err", "-t", "ospfd", "neighbour 10.0.0.2 down")
        wait_rows_of(varnel.events, n)
    rows = varnel.events("Priority, NodeName, Message, EventSource")
    assert rows[0][0] == "3 - Minor" and rows[0][1] not in ("", "127.0.0.1")
    assert rows[0][2:] == ("ospfd: neighbour 10.0.0.2 down", "Syslog")
    assert rows == [rows[0]] * 4

    logger(udp, "-d", "-i", "-t", "app", "--sd-id", "zoo@123", "--sd-param", 'tiger="hungry"',
           " ")
    logger(udp, "-d", "--rfc5424=notime,nohost,notq", "-t", "-", "nil header")
    rows = wait_rows_of(lambda: varnel.events("NodeName, Message"), 6)[4:]
    assert rows[0][0] == varnel.events("NodeName")[0][0]
    assert rows[0][1].startswith("app[") and rows[0][1].endswith('[zoo@123 tiger="hungry"]')
    assert rows[1] == ("127.0.0.1", "nil header")
    assert varnel.stop() == 0
