"""Event intake on the real binary: Syslog from util-linux logger over UDP and TCP, bursts,
and the Event.log drop file."""
import os
import socket
import subprocess
import time

import pytest
from conftest import wait_rows_of


def free_port(kind=socket.SOCK_DGRAM):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def events(varnel):
    return varnel.query(
        'SELECT "Index", DateAndTime, Priority, NodeName, Message, EventSource '
        "FROM LogFiles_Event ORDER BY rowid")


def wait_rows(varnel, n, timeout=20):
    return wait_rows_of(lambda: events(varnel), n, timeout)


def syslog_service(varnel, protocol="UDP", tick_ms=100, **columns):
    varnel.init()
    port = free_port(socket.SOCK_DGRAM if protocol == "UDP" else socket.SOCK_STREAM)
    varnel.set("Event_SysLog", Enabled1=1, Protocol1=protocol, IpAddress1="127.0.0.1",
               ListeningPort1=port, **columns)
    varnel.set("Event_CheckInterval", CheckInterval=5)
    varnel.start(tick_ms=tick_ms)
    status = varnel.query("SELECT Status1 FROM Event_SysLog")[0][0]
    assert f"Syslog Server Started\r\nIP=127.0.0.1\r\nPort={port}\r\n" in status
    return port


def logger(port, message, *options):
    subprocess.run(["logger", "--rfc3164", "-n", "127.0.0.1", "-P", str(port), *options, message],
                   check=True, timeout=10)


@pytest.mark.parametrize("remove_dat,expected", [
    (1, "su: 'su root' failed"),
    (0, "Oct 11 22:14:15 su: 'su root' failed"),
])
def test_rfc3164_datagram_becomes_an_event(varnel, remove_dat, expected):
    port = syslog_service(varnel, ModParse3164=1, ModRemoveDAT=remove_dat,
                          LogSourceAs="Name (RFC 3164)")
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.sendto(b"<34>Oct 11 22:14:15 mymachine su: 'su root' failed", ("127.0.0.1", port))
    rows = wait_rows(varnel, 1)
    assert rows[0][2:] == ("2 - Major", "mymachine", expected, "Syslog")
    assert varnel.stop() == 0


def test_logger_over_udp(varnel):
    port = syslog_service(varnel, ModParse3164=1, ModRemoveDAT=1)
    logger(port, "'su root' failed", "-d", "-p", "auth.crit", "-t", "su")
    rows = wait_rows(varnel, 1)
    assert rows[0][2:] == ("2 - Major", "127.0.0.1", "su: 'su root' failed", "Syslog")
    assert varnel.stop() == 0


def test_twenty_messages_over_one_tcp_connection(varnel):
    port = syslog_service(varnel, protocol="TCP", ModParse3164=1, ModRemoveDAT=1)
    lines = "\n".join(f"link {i} down" for i in range(1, 21)) + "\n"
    # logger -T keeps one connection and sends every input line as one message.
    subprocess.run(["logger", "--rfc3164", "-T", "-n", "127.0.0.1", "-P", str(port),
                    "-p", "local0.err", "-t", "rtr"], input=lines, text=True, check=True,
                   timeout=10)
    rows = wait_rows(varnel, 20)
    assert [r[4] for r in rows] == [f"rtr: link {i} down" for i in range(1, 21)]
    assert {r[2] for r in rows} == {"3 - Minor"}
    assert varnel.stop() == 0


def test_burst_of_three_hundred_datagrams_and_the_loss_beyond(varnel):
    # Cycles three seconds apart, so that the whole burst (a few milliseconds) lands in one
    # drain; the socket's receive buffer holds it while the cycle writes.
    port = syslog_service(varnel, tick_ms=3000)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        for i in range(1, 302):
            s.sendto(f"<11>burst {i}".encode(), ("127.0.0.1", port))
    rows = wait_rows(varnel, 300, timeout=30)
    time.sleep(1.0)
    rows = events(varnel)
    assert len(rows) == 300
    assert rows[-1][4] == "burst 300"
    notice = varnel.log.wait_for(107, "Syslog input queue full")
    assert "1 messages were dropped" in notice[3]
    assert varnel.stop() == 0


def test_event_log_drop_file(varnel):
    varnel.init()
    varnel.set("Event_CheckInterval", CheckInterval=5)
    varnel.start()
    lines = ["2026-01-05 10:00:00\t2 - Major\tsrv1\tdisk full\ton C:"] * 2
    lines += [f"2026-01-05 10:00:01\t3 - Minor\tn{i}\tevent {i}" for i in range(308)]
    with open(varnel.path("Event.log.tmp"), "w") as f:
        f.write("\r\n".join(lines) + "\r\n")
    os.rename(varnel.path("Event.log.tmp"), varnel.path("Event.log"))
    rows = wait_rows(varnel, 299)
    time.sleep(1.0)
    assert len(events(varnel)) == 299  # 300 read, one duplicate removed
    assert rows[0][3:5] == ("srv1", "disk full on C:")
    assert not os.path.exists(varnel.path("Event.log"))
    assert varnel.stop() == 0


def drop(varnel, line):
    with open(varnel.path("Event.log.tmp"), "w") as f:
        f.write(line + "\r\n")
    os.rename(varnel.path("Event.log.tmp"), varnel.path("Event.log"))


def test_event_log_rows_change_day_stamp_at_midnight(varnel):
    varnel.init()
    varnel.set("Event_CheckInterval", CheckInterval=5)
    started = time.monotonic()
    varnel.start(faketime="@2026-06-26 23:59:50", tick_ms=200)
    drop(varnel, "2026-06-26 23:59:51\t4 - Warning\tups\tbefore midnight")
    wait_rows(varnel, 1)
    time.sleep(max(0.0, 12 - (time.monotonic() - started)))  # the service clock is past 00:00
    drop(varnel, "2026-06-27 00:00:02\t4 - Warning\tups\tafter midnight")
    rows = wait_rows(varnel, 2)
    assert [r[0] // 10000 for r in rows] == [60626, 60627]
    assert [r[4] for r in rows] == ["before midnight", "after midnight"]
    assert varnel.stop() == 0


@pytest.mark.parametrize("protocol,expect", [
    ("SNMPv1 Trap", "v=0 ent=.1.3.6.1.4.1.99412.1.10.2 specific=.2 agent=127.0.0.1"),
    ("SNMPv2 Trap", "v=1 "),
])
def test_accepted_syslog_messages_are_forwarded_as_traps(varnel, snmptrapd, protocol, expect):
    trap_port, trap_log = snmptrapd
    port = syslog_service(varnel, ModParse3164=1, ModRemoveDAT=1, LogSourceAs="Name (RFC 3164)",
                          ForwardSysLogAsTrap=1, TrapIpAddress="127.0.0.1",
                          TrapUdpPort=trap_port, TrapCommunity="nms", TrapProtocol=protocol)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        for _ in range(2):  # a duplicate is forwarded too, but logged once
            s.sendto(b"<187>Oct 11 22:14:15 core1 link down", ("127.0.0.1", port))
    wait_rows(varnel, 1)
    deadline = time.monotonic() + 10
    traps = []
    while time.monotonic() < deadline and len(traps) < 2:
        traps = [l for l in trap_log.read_text().splitlines() if l.startswith("TRAP")]
        time.sleep(0.1)
    assert len(traps) == 2, trap_log.read_text()
    assert traps[0].startswith("TRAP " + expect)
    if protocol == "SNMPv2 Trap":
        assert ".1.3.6.1.6.3.1.1.4.1.0 = OID: .1.3.6.1.4.1.99412.1.10.2.0.2" in traps[0]
    assert '.1.3.6.1.4.1.99412.1.10.1.6.1 = STRING: "core1"' in traps[0]
    assert ".1.3.6.1.4.1.99412.1.10.1.6.2 = INTEGER: 3" in traps[0]
    assert '.1.3.6.1.4.1.99412.1.10.1.6.3 = STRING: "link down"' in traps[0]
    assert len(events(varnel)) == 1
    assert varnel.stop() == 0
