"""Syslog as current senders write it: util-linux logger's RFC 5424 default and its RFC 3164
form give the same event over UDP and TCP; structured data stands in for an empty message;
nil header fields fall back as a missing RFC 3164 header part does."""
import subprocess

from conftest import needs, wait_rows_of


def logger(port, *options):
    subprocess.run(["logger", "-n", "127.0.0.1", "-P", str(port), *options], check=True,
                   timeout=10)


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
