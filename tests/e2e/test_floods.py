"""Load against the real service: Syslog and trap floods over UDP, and nine SMTP clients sending
at once. Whatever arrives is either an event or counted: in the service's drop warnings or in
the kernel's drop counter of the receiving socket."""
import collections
import os
import re
import socket
import threading
import time

from conftest import P, wait_rows_of, wait_until
from test_smtp import ACCEPTED, GREETING, Client, smtp_home, start

FLOOD = 10_000
RSS_GROWTH_KIB = 64 * 1024  # bound on what a flood may add to the resident set
LOAD_SECONDS = float(os.environ.get("VARNEL_LOAD_SECONDS", "10"))


# SNMPv2c trap datagrams, encoded here so that the sender is as fast as a socket loop.
def tlv(tag, payload):
    n = len(payload)
    size = bytes([n]) if n < 0x80 else bytes([0x82]) + n.to_bytes(2, "big")
    return bytes([tag]) + size + payload


def ber_int(v, tag=0x02):
    return tlv(tag, v.to_bytes(max(1, (v.bit_length() + 8) // 8), "big"))


def ber_oid(dotted):
    arcs = [int(a) for a in dotted.split(".")]
    out = bytearray([40 * arcs[0] + arcs[1]])
    for a in arcs[2:]:
        chunk = [a & 0x7F]
        while a := a >> 7:
            chunk.append(0x80 | (a & 0x7F))
        out += bytes(reversed(chunk))
    return tlv(0x06, bytes(out))


def trap_datagram(seq, text):
    varbinds = [("1.3.6.1.2.1.1.3.0", ber_int(seq, 0x43)),
                ("1.3.6.1.6.3.1.1.4.1.0", ber_oid(f"{P}.2.0.2")),
                (f"{P}.1.1", tlv(0x04, b"flood-node")), (f"{P}.1.3", tlv(0x04, text.encode()))]
    pdu = ber_int(seq) + ber_int(0) + ber_int(0) + tlv(
        0x30, b"".join(tlv(0x30, ber_oid(oid) + value) for oid, value in varbinds))
    return tlv(0x30, ber_int(1) + tlv(0x04, b"public") + tlv(0xA7, pdu))


def syslog_datagram(seq, text):
    return f"<{8 + seq % 8}>{text}".encode()


def blast(datagrams):
    """Sends (port, datagram) pairs as fast as one socket loop can; the count that left, by
    port."""
    sent = collections.Counter()
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        for port, datagram in datagrams:
            try:
                s.sendto(datagram, ("127.0.0.1", port))
                sent[port] += 1
            except OSError:  # ENOBUFS: the datagram never left this host's stack
                pass
    return sent


def kernel_drops(port):
    """Datagrams the kernel dropped for the socket bound to 127.0.0.1:port (receive buffer
    full), from its row of /proc/net/udp."""
    local = f"0100007F:{port:04X}"
    with open("/proc/net/udp") as f:
        rows = [line.split() for line in f.readlines()[1:]]
    return sum(int(r[-1]) for r in rows if r[1] == local)


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))


class Flood:
    """One source flooded: what was sent and what became of it."""

    def __init__(self, varnel, source, port, datagram, warning):
        self.varnel, self.source, self.port, self.datagram = varnel, source, port, datagram
        self.warning = re.compile(warning)
        self.sent = self.markers = 0
        self.base = self.counts()

    def counts(self):
        """(events, queue drops, kernel drops) of this source so far."""
        events = self.varnel.query("SELECT COUNT(*) FROM LogFiles_Event WHERE EventSource = ?",
                                   self.source)[0][0]
        dropped = sum(int(m.group(1)) for text in self.varnel.log(107)
                      if (m := self.warning.search(text)))
        return events, dropped, kernel_drops(self.port)

    def datagrams(self, tag, n, first=0):
        return [(self.port, self.datagram(i, f"{tag} seq={i}")) for i in range(first, first + n)]

    def send(self, datagrams):
        self.sent += blast(datagrams)[self.port]

    def logged(self, tag):
        rows = self.varnel.query("SELECT Message FROM LogFiles_Event WHERE EventSource = ? AND "
                                 "Message LIKE ?", self.source, f"%{tag} seq=%")
        return [int(re.search(r"seq=(\d+)", m).group(1)) for (m,) in rows]

    def marker_logged(self, tag):
        """Sends one more message at a time until one is an event: the service still cycles,
        and has taken in what was sent before it."""
        def one_more():
            seq = self.markers
            self.markers += blast(self.datagrams(f"{tag}-after", 1, seq))[self.port]
            deadline = time.monotonic() + 2
            while seq not in self.logged(f"{tag}-after") and time.monotonic() < deadline:
                time.sleep(0.1)
            return seq in self.logged(f"{tag}-after")
        wait_until(one_more, 60, f"a {self.source} message after the flood logged")

    def account(self, tag):
        """Figures of the flood; every datagram sent is an event or counted as dropped."""
        self.marker_logged(tag)
        now = self.counts()
        events, dropped, kernel = (a - b for a, b in zip(now, self.base))
        self.base = now
        seqs = self.logged(tag)
        assert len(seqs) == len(set(seqs)) and set(seqs) <= set(range(self.sent))
        assert events + dropped + kernel == self.sent + self.markers, (
            f"{self.source}: sent {self.sent} + {self.markers} markers, {events} events, "
            f"{dropped} dropped by the queue, {kernel} by the kernel")
        figures = dict(sent=self.sent, logged=len(seqs), dropped=dropped, kernel=kernel)
        self.sent = self.markers = 0
        return figures


def test_syslog_and_trap_floods_are_logged_or_counted(varnel):
    varnel.init().snmp_ports()
    syslog = Flood(varnel, "Syslog", varnel.syslog("UDP"), syslog_datagram,
                   r"^Syslog input queue full: (\d+) messages were dropped since the last "
                   r"check\.$")
    traps = Flood(varnel, "SNMP Trap", varnel.trap_port, trap_datagram,
                  r"^SNMP trap server: (\d+) traps dropped")
    # The sanitizer keeps freed memory in a quarantine of up to 256 MiB by default; a small
    # one lets the resident set show what the service itself holds.
    varnel.start(extra_env=dict(ASAN_OPTIONS=":".join(
        filter(None, [os.environ.get("ASAN_OPTIONS"), "quarantine_size_mb=8"]))))
    syslog.account("warm")
    traps.account("warm")
    rss_before, t0 = rss_kib(varnel.proc.pid), time.monotonic()

    figures = {}
    for flood in (syslog, traps):
        datagrams, t1 = flood.datagrams("alone", FLOOD), time.monotonic()
        flood.send(datagrams)
        figures[f"{flood.source} send seconds"] = round(time.monotonic() - t1, 2)
        figures[f"{flood.source} alone"] = flood.account("alone")
    # Both at once, and a drop file longer than the event list: the three sources share one
    # cycle's list, and what it cannot take waits for the next cycle.
    both = [d for pair in zip(syslog.datagrams("both", FLOOD), traps.datagrams("both", FLOOD))
            for d in pair]
    now = time.strftime("%Y-%m-%d %H:%M:%S")
    varnel.drop(*(f"{now}\t3 - Minor\tdrop-file\tline {i}" for i in range(400)))
    sent = blast(both)
    syslog.sent, traps.sent = sent[syslog.port], sent[traps.port]
    for flood in (syslog, traps):
        figures[f"{flood.source} with the other"] = flood.account("both")
    dropped_file = lambda: varnel.query("SELECT Message FROM LogFiles_Event WHERE NodeName = ?",
                                        "drop-file")
    assert sorted(wait_rows_of(dropped_file, 400)) == sorted((f"line {i}",) for i in range(400))

    rss_after = rss_kib(varnel.proc.pid)
    print(f"\nfloods: {figures}; RSS {rss_before} KiB before, {rss_after} KiB after; "
          f"{time.monotonic() - t0:.1f} s")
    assert rss_after < rss_before + RSS_GROWTH_KIB
    assert varnel.log(106) == []  # no run-time error entry
    assert varnel.alive() and varnel.stop() == 0


def smtp_client(port, n, stop, results):
    """One client on one connection: mails until stop is set; counts the accepted ones."""
    c, accepted, refused = Client(port), 0, []
    greeting = c.lines(1)
    if greeting != [GREETING]:
        results[n] = (0, greeting)
        return
    c.send(b"HELO load.example\r\n")
    c.lines(1)
    seq = 0
    while not stop.is_set():
        seq += 1
        c.send(b"MAIL FROM:<load@example.org>\r\nRCPT TO:<alarm@varnel.example>\r\nDATA\r\n" +
               f"Subject: c{n} 3 load {n}-{seq}\r\n\r\nbody\r\n.\r\n".encode())
        replies = c.lines(4)
        if replies[3:] == [ACCEPTED]:
            accepted += 1
        else:
            refused.append(replies)
            break
    c.send(b"QUIT\r\n")
    c.sock.close()
    results[n] = (accepted, refused)


def test_nine_smtp_clients_at_once_each_accepted_mail_is_an_event(varnel):
    port = smtp_home(varnel)
    varnel.set("Settings_General", DebugMode="No Debug")
    varnel.snmp_ports()
    start(varnel)
    stop, results = threading.Event(), {}
    clients = [threading.Thread(target=smtp_client, args=(port, n, stop, results))
               for n in range(1, 10)]
    t0 = time.monotonic()
    for c in clients:
        c.start()
    cycles = 0
    while time.monotonic() - t0 < LOAD_SECONDS:
        varnel.cycle_done()  # the agent answers and the cycle runs under the load
        cycles += 1
    stop.set()
    for c in clients:
        c.join(60)
    seconds = time.monotonic() - t0
    assert sorted(results) == list(range(1, 10)) and cycles > 0
    assert [r[1] for r in results.values()] == [[]] * 9, results
    accepted = sum(r[0] for r in results.values())

    # Every event advances the day's event counter; rows are written for the first 3000 of a
    # day only, and the counter stops at the top of its 16-bit range.
    counted = lambda: varnel.query("SELECT LogIndexEvent FROM Settings_General")[0][0] - 1
    expected = min(accepted, 32766)
    wait_until(lambda: counted() >= expected, 60, lambda: f"{expected} events, have {counted()}")
    varnel.cycle_done()
    assert counted() == expected
    rows = varnel.query("SELECT NodeName, Message FROM LogFiles_Event")
    mails = {(f"c{n}", f"load {n}-{s}") for n, (count, _) in results.items()
             for s in range(1, count + 1)}
    assert len(set(rows)) == len(rows) == min(accepted, 3000) and set(rows) <= mails
    assert varnel.log(106) == []  # no run-time error entry
    print(f"\nsmtp: {accepted} mails in {seconds:.1f} s, {accepted / seconds:.0f} mails/s, "
          f"{cycles} cycles checked")
    assert varnel.alive() and varnel.stop() == 0
