"""Traps sent by snmptrap and snmpinform to the real service become events."""

import socket
import subprocess
import time

import pytest

from snmp_helpers import (P, TOOL_ENV, Varnel, ber_int, ber_oid, tlv, v2_trap, wait_for)


@pytest.fixture
def service(tmp_path):
    v = Varnel(tmp_path / "home")
    yield v
    rc, stderr = v.stop()
    assert rc == 0, stderr


def define(v, oid, priority, node, message, log=1, **variables):
    v.add_row("Event_SNMP_MibTrap", TrapOid=oid, TrapName="trap " + oid, LogEvent=log,
              Priority=priority, NodeName=node, Message=message, **variables)


def test_traps_and_informs_become_events(service):
    define(service, f"{P}.2.0.2", "$3", "$A", "$1 says $12 ($3)",
           Var3=f"{P}.1.6.2 severity critical(1),major(2)")
    define(service, f"{P}.20.0.1", "1 - Critical", "$r", "door $1")
    define(service, f"{P}.30.0.1", "4 - Warning", "$A", "$1..$20")
    (service.home / "mibfiles" / "defaultFilter" / "ip2name.txt").write_text(
        "127.0.0.10\tnot-this-one\n127.0.0.1\tlab-router\n")
    service.start()

    # v1 enterprise trap 1.3.6.1.4.1.99412.1.10.2 specific 2 with twelve variables.
    twelve = [f"{P}.1.6.1", "s", "router7", f"{P}.1.6.9", "s", "x", f"{P}.1.6.2", "i", "2"]
    for k in range(4, 12):
        twelve += [f"{P}.1.7.{k}", "s", f"v{k}"]
    twelve += [f"{P}.1.7.12", "s", "line twelve"]
    service.trap(f"{P}.2", "10.20.30.40", "6", "2", "", *twelve, version="1")
    # v1 linkDown without a definition.
    service.trap("1.3.6.1.6.3.1.1.5", "127.0.0.1", "2", "0", "",
                 "1.3.6.1.2.1.2.2.1.1.3", "i", "3", version="1")
    # v2c trap named through ip2name.txt.
    service.trap("", f"{P}.20.0.1", "1.3.6.1.2.1.1.5.0", "s", "open")
    # v2c trap with snmpTrapAddress.0 in the middle of 25 further variables.
    many = []
    for k in range(1, 26):
        many += [f"1.3.6.1.4.1.9.9.{k}", "s", f"a{k}"]
        if k == 12:
            many += ["1.3.6.1.6.3.18.1.3.0", "a", "10.1.1.9"]
    service.trap("", f"{P}.30.0.1", *many)
    # An inform is answered (snmpinform waits for the answer) and becomes an event too.
    r = subprocess.run(["snmpinform", "-v2c", "-c", "public", "-r", "1", "-t", "3",
                        f"127.0.0.1:{service.trap_port}", "", f"{P}.40.0.1",
                        "1.3.6.1.2.1.1.5.0", "s", "informed"],
                       env=TOOL_ENV, capture_output=True, text=True, timeout=30)
    assert r.returncode == 0, r.stderr
    # A wrong community is dropped.
    service.trap("", f"{P}.50.0.1", community="Public")

    assert wait_for(lambda: len(service.events()) >= 5, 15)
    time.sleep(0.5)
    events = service.events()
    assert ("2 - Major", "10.20.30.40", "router7 says line twelve (major)") in events
    assert ("5 - Normal", "127.0.0.1", "mib-2.11.0.2, [1]1.3.6.1.2.1.2.2.1.1.3(Integer): 3 ") \
        in events
    assert ("1 - Critical", "lab-router", "door open") in events
    assert ("4 - Warning", "10.1.1.9", "a1..a20") in events
    assert ("5 - Normal", "127.0.0.1",
            "enterprises.99412.1.10.40.0.1, [1]1.3.6.1.2.1.1.5.0(OctetString): informed ") \
        in events
    assert len(events) == 5
    assert all(e[2] != "" for e in events)


def test_direct_message_trap_writes_the_drop_file(service):
    service.start()
    service.trap("", "1.3.6.1.4.1.99412.1.14.2.0.1",
                 "1.3.6.1.4.1.99412.1.14.1.1", "s", "5",
                 "1.3.6.1.4.1.99412.1.14.1.2", "s", "relay1",
                 "1.3.6.1.4.1.99412.1.14.1.3", "s", "Anna",
                 "1.3.6.1.4.1.99412.1.14.1.4", "s", "anna@example.org",
                 "1.3.6.1.4.1.99412.1.14.1.5", "i", "2",
                 "1.3.6.1.4.1.99412.1.14.1.6", "s", "-",
                 "1.3.6.1.4.1.99412.1.14.1.7", "s", "1",
                 "1.3.6.1.4.1.99412.1.14.1.8", "s", "Call the control room")
    mess = service.home / "SnmpMess.log"
    assert wait_for(mess.exists)
    fields = mess.read_text().rstrip("\r\n").split("\t")
    assert fields[1:] == ["MailSMTP", "relay1", "Anna", "anna@example.org", "-", "1",
                          "Call the control room"]
    assert service.cycle_done()
    assert service.events() == []  # not queued as an ordinary trap


def test_flood_and_hostile_datagrams(service):
    # One cycle every two seconds, so the flood lands between two drains.
    service.set("Event_CheckInterval", CheckInterval=10)
    service.tick_ms = 1000
    service.start()
    rss_before = service.rss_kib()

    hostile = [
        b"\x30\x80\x02\x01\x01",                                   # indefinite length
        b"\x30\x84\xff\xff\xff\xff",                               # length beyond the data
        v2_trap(b"public", f"{P}.2.0.9")[:-3],                     # truncated
        v2_trap(b"x" * 65000, f"{P}.2.0.9"),                       # 64 KiB community
        v2_trap(b"public", "1.3." + ".".join(["7"] * 198)),        # OID of 200 arcs
        v2_trap(b"public", f"{P}.2.0.9", [("1.3.6.1.4.1.9", tlv(0x46, b"\x01" * 9))]),
        tlv(0x30, ber_int(1) + tlv(0x04, b"public") +
            tlv(0xA7, ber_int(1) + ber_int(0) + ber_int(0) +
                tlv(0x30, tlv(0x30, b"\x06\x06\x2b\x90\x80\x80\x80\x00\x05\x00")))),
    ]
    assert ber_oid("1.3.6") == b"\x06\x02\x2b\x06"

    def countdown():
        out = service.snmp("snmpget", f"{P}.1.1.2.0").stdout
        return out.strip().endswith("INTEGER: 10")
    assert wait_for(countdown, 10, 0.02)  # a cycle has just run

    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    start = time.monotonic()
    for i in range(10000):
        if i % 10 == 9:
            data = hostile[(i // 10) % len(hostile)]
        else:
            big = b"y" * 60000 if i % 1000 == 0 else b""
            data = v2_trap(b"public", f"{P}.2.0.9",
                           [(f"{P}.1.6.1", tlv(0x04, f"flood {i}".encode() + big))], i + 1)
        sock.sendto(data, ("127.0.0.1", service.trap_port))
    flood_seconds = time.monotonic() - start
    sock.close()

    def dropped_notice():
        return [e for e in service.entries(107) if "traps dropped" in e[2]]
    assert wait_for(dropped_notice, 15)
    assert service.cycle_done(20)
    notices = dropped_notice()
    rows = len(service.events())
    # At most 300 traps a drain reach the event list; the rest are dropped and reported.
    assert 300 <= rows <= 300 * len(notices), (rows, notices, flood_seconds)
    dropped = sum(int(n[2].split()[3]) for n in notices)
    malformed = sum(int(n[2].split(", ")[1].split()[0]) for n in notices)
    assert dropped > 0 and malformed > 0, notices
    assert service.alive()
    assert service.snmp("snmpget", "1.3.6.1.2.1.1.5.0").returncode == 0
    # 300 queued traps of at most 64 KiB each: bounded, whatever arrived.
    assert service.rss_kib() - rss_before < 200 * 1024
