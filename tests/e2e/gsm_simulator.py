"""A GSM/TETRA terminal on a pseudo-terminal, for tests of the SMS transport and reader.

The simulator opens a pty pair, links the slave side as a serial device (for example
HOME/ports/COM1) and answers the AT commands of an SMS session on the master side:
ATZ and other plain AT commands, AT+CMGF, AT+CSCS, AT+CSMS, AT+CSCA, AT+CSMP, AT+CPMS,
AT+CSQ, AT+CTSDS, AT+CTSP, AT+CMGL=4, AT+CMGD and AT+CMGS in PDU, text and TETRA mode.
It keeps a message store for +CMGL/+CMGD and records every command and every message it was
asked to send. It can be told to answer ERROR, to stay silent or to report a signal
strength.

From pytest:

    with GsmSimulator(home / "ports" / "COM1") as sim:
        sim.store_sms("+46701234567", "ACK 901")
        ...                       # run varnel
        assert sim.sent[0]["tpdu"] == "0100..."

Standalone (prints one JSON line per command and per sent message until interrupted):

    python3 gsm_simulator.py --link demo/ports/COM1 --signal 20,99 --sms +4670123:hello
"""

import argparse
import json
import os
import pty
import select
import signal as signals
import sys
import threading
import time
import tty

# GSM 03.38 default alphabet by value, and the extension table.
GSM_ALPHABET = ("@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞ\x1bÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
                "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà")
GSM_EXTENSION = {"\f": 10, "^": 20, "{": 40, "}": 41, "\\": 47, "[": 60, "~": 61, "]": 62,
                 "|": 64, "€": 101}


def semi_octets(digits):
    """Phone digits as swapped semi-octets, an odd last digit completed with F."""
    if len(digits) % 2:
        digits += "F"
    return "".join(digits[i + 1] + digits[i] for i in range(0, len(digits), 2))


def address_field(number, length_in_octets=False):
    """Length, type of address and digits of a phone number."""
    toa = "91" if number.startswith("+") else "81"
    digits = number.lstrip("+")
    swapped = semi_octets(digits)
    length = len(swapped) // 2 + 1 if length_in_octets else len(digits)
    return "%02X" % length + toa + swapped


def gsm_septets(text):
    """GSM default alphabet values of a text; characters it lacks become "?"."""
    out = []
    for ch in text:
        if ch in GSM_EXTENSION:
            out += [27, GSM_EXTENSION[ch]]
        else:
            value = GSM_ALPHABET.find(ch)
            out.append(value if value >= 0 else GSM_ALPHABET.index("?"))
    return out


def pack_septets(septets):
    acc, bits, out = 0, 0, bytearray()
    for s in septets:
        acc |= (s & 0x7F) << bits
        bits += 7
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8
    if bits:
        out.append(acc & 0xFF)
    return out.hex().upper()


def deliver_pdu(sender, text, smsc=None):
    """An SMS-DELIVER PDU with 7-bit text, with a service centre field when smsc is given
    ("" gives the empty field 00)."""
    septets = gsm_septets(text)
    tpdu = ("04" + address_field(sender) + "00" + "00" + "42102030405000" +
            "%02X" % len(septets) + pack_septets(septets))
    if smsc is None:
        return tpdu
    return ("00" if smsc == "" else address_field(smsc, length_in_octets=True)) + tpdu


def split_submit(body, length):
    """Splits an AT+CMGS PDU body into its service centre field and its TPDU, the way a
    terminal does: the TPDU is the last `length` octets."""
    if len(body) % 2 or len(body) // 2 < length:
        return None, None
    sca_octets = len(body) // 2 - length
    return body[:sca_octets * 2], body[sca_octets * 2:]


class GsmSimulator:
    def __init__(self, link=None, *, signal="17,99", echo=True, storage_sca=True,
                 smsc="+46700000"):
        self.link = str(link) if link else None
        self.signal = signal
        self.echo = echo
        self.storage_sca = storage_sca  # list PDUs with their service centre field
        self.smsc = smsc
        # Behaviour switches; commands are matched exactly, or by prefix when they end in *.
        self.error_to = set()
        self.silent_to = set()
        # What the terminal holds and saw.
        self.messages = {}
        self.commands = []
        self.sent = []
        self.events = []
        self.mode = 0
        self.charset = "GSM"
        self.service_centre = None
        self._lock = threading.Lock()
        self._buffer = b""
        self._body_target = None
        self._master = self._slave = None
        self._thread = None
        self._stop = threading.Event()
        self._next_index = 1
        self.on_event = None

    # --- lifecycle ---
    def start(self):
        self._master, self._slave = pty.openpty()
        tty.setraw(self._slave)
        os.set_blocking(self._master, False)
        if self.link:
            if os.path.lexists(self.link):
                os.unlink(self.link)
            os.makedirs(os.path.dirname(self.link) or ".", exist_ok=True)
            os.symlink(os.ttyname(self._slave), self.link)
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        self._stop.set()
        if self._thread:
            self._thread.join(timeout=2)
        self._close_fds()
        if self.link and os.path.islink(self.link):
            os.unlink(self.link)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def _close_fds(self):
        for fd in (self._master, self._slave):
            if fd is not None:
                try:
                    os.close(fd)
                except OSError:
                    pass
        self._master = self._slave = None

    # --- message store ---
    def store_pdu(self, pdu):
        with self._lock:
            index = self._next_index
            self._next_index += 1
            self.messages[index] = pdu
            return index

    def store_sms(self, sender, text):
        smsc = self.smsc if self.storage_sca else None
        return self.store_pdu(deliver_pdu(sender, text, smsc))

    # --- the terminal ---
    def _record(self, kind, **fields):
        event = dict(kind=kind, **fields)
        self.events.append(event)
        if self.on_event:
            self.on_event(event)

    def _write(self, data):
        if self._master is None:
            return
        if isinstance(data, str):
            data = data.encode("latin-1", "replace")
        view = memoryview(data)
        while view and not self._stop.is_set():
            try:
                n = os.write(self._master, view)
                view = view[n:]
            except BlockingIOError:
                time.sleep(0.01)
            except OSError:
                return

    def _run(self):
        while not self._stop.is_set():
            try:
                ready, _, _ = select.select([self._master], [], [], 0.02)
            except (OSError, ValueError):
                return
            if not ready:
                continue
            try:
                data = os.read(self._master, 4096)
            except BlockingIOError:
                continue
            except OSError:
                # Nobody holds the device open; keep waiting for the next session.
                time.sleep(0.02)
                continue
            with self._lock:
                self._buffer += data
                self._process()

    def _matches(self, rules, command):
        return any(command == r or (r.endswith("*") and command.startswith(r[:-1]))
                   for r in rules)

    def _process(self):
        while True:
            if self._body_target is not None:
                end = min((i for i in (self._buffer.find(b"\x1a"), self._buffer.find(b"\x1b"))
                           if i >= 0), default=-1)
                if end < 0:
                    return
                body = self._buffer[:end].lstrip(b"\r\n").decode("latin-1")
                cancelled = self._buffer[end:end + 1] == b"\x1b"
                self._buffer = self._buffer[end + 1:]
                target, self._body_target = self._body_target, None
                if not cancelled:
                    self._message(target, body)
                continue
            end = self._buffer.find(b"\r")
            if end < 0:
                return
            line = self._buffer[:end].strip(b"\n ").decode("latin-1")
            self._buffer = self._buffer[end + 1:]
            if line:
                self._command(line)
            if self._master is None:
                return

    def _reply(self, text):
        self._write("\r\n" + text + "\r\n")

    def _command(self, cmd):
        self.commands.append(cmd)
        self._record("command", command=cmd)
        if self._matches(self.silent_to, cmd):
            return
        if self.echo:
            self._write(cmd + "\r")
        if self._matches(self.error_to, cmd):
            self._reply("ERROR")
            return
        upper = cmd.upper()
        if not upper.startswith("AT"):
            self._reply("ERROR")
        elif upper in ("ATE0", "ATE1"):
            self.echo = upper == "ATE1"
            self._reply("OK")
        elif upper.startswith("AT+CMGF="):
            self.mode = int(cmd[8:] or 0) if cmd[8:].isdigit() else 0
            self._reply("OK")
        elif upper.startswith("AT+CSCS="):
            self.charset = cmd[8:].strip('"')
            self._reply("OK")
        elif upper.startswith("AT+CSCA="):
            self.service_centre = cmd[8:].strip('"')
            self._reply("OK")
        elif upper.startswith("AT+CSMS="):
            self._reply("+CSMS: 1,1,1\r\n\r\nOK")
        elif upper.startswith("AT+CPMS="):
            self._reply("+CPMS: %d,30,%d,30,%d,30\r\n\r\nOK" % ((len(self.messages),) * 3))
        elif upper == "AT+CSQ":
            self._reply("+CSQ: %s\r\n\r\nOK" % self.signal)
        elif upper.startswith("AT+CMGL"):
            self._list()
        elif upper.startswith("AT+CMGD="):
            index = cmd[8:].split(",")[0]
            if index.isdigit() and int(index) in self.messages:
                del self.messages[int(index)]
                self._reply("OK")
            else:
                self._reply("+CMS ERROR: 321")
        elif upper.startswith("AT+CMGS="):
            arg = cmd[8:]
            self._body_target = arg
            self._write("\r\n> ")
        else:
            self._reply("OK")

    def _list(self):
        out = ""
        for index, pdu in sorted(self.messages.items()):
            sca_octets = int(pdu[:2], 16) + 1 if self.storage_sca else 0
            out += "+CMGL: %d,0,,%d\r\n%s\r\n" % (index, len(pdu) // 2 - sca_octets, pdu)
        self._write("\r\n" + out + "\r\nOK\r\n")

    def _message(self, target, body):
        if self.mode == 0:
            length = int(target) if target.isdigit() else -1
            sca, tpdu = split_submit(body, length)
            record = dict(mode="pdu", length=length, body=body, sca=sca, tpdu=tpdu,
                          service_centre=self.service_centre, charset=self.charset)
            if tpdu is None:
                self._record("rejected", **record)
                self._reply("+CMS ERROR: 304")
                return
        else:
            record = dict(mode="text" if self.mode == 1 else "tetra", number=target.strip('"'),
                          text=body, service_centre=self.service_centre, charset=self.charset)
        self.sent.append(record)
        self._record("sent", **record)
        self._reply("+CMGS: %d\r\n\r\nOK" % len(self.sent))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--link", required=True, help="path of the device link to create")
    parser.add_argument("--signal", default="17,99", help="+CSQ answer")
    parser.add_argument("--sms", action="append", default=[], metavar="NUMBER:TEXT",
                        help="a message waiting in the store")
    parser.add_argument("--error", action="append", default=[], metavar="COMMAND",
                        help="answer ERROR to this command (trailing * for a prefix)")
    parser.add_argument("--silent", action="append", default=[], metavar="COMMAND",
                        help="do not answer this command")
    args = parser.parse_args()
    sim = GsmSimulator(args.link, signal=args.signal)
    sim.error_to.update(args.error)
    sim.silent_to.update(args.silent)
    sim.on_event = lambda e: print(json.dumps(e), flush=True)
    for item in args.sms:
        number, _, text = item.partition(":")
        sim.store_sms(number, text)
    done = threading.Event()
    for s in (signals.SIGINT, signals.SIGTERM):
        signals.signal(s, lambda *_: done.set())
    sim.start()
    print(json.dumps(dict(kind="ready", link=args.link)), flush=True)
    done.wait()
    sim.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
