"""A GSM/TETRA terminal on a pty whose slave side is linked as a serial device: it answers
the AT commands of an SMS session, keeps a message store, and records every command in
.commands and every message it was asked to send in .sent.

Standalone it prints one JSON line per command and sent message until interrupted."""

import argparse

from pty_device import PtyDevice, serve_until_signalled

SIGNAL = "17,99"
SMSC = "+46700000"
# GSM 03.38 default alphabet by value, and the extension table.
GSM_ALPHABET = ("@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞ\x1bÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
                "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà")
GSM_EXTENSION = {"\f": 10, "^": 20, "{": 40, "}": 41, "\\": 47, "[": 60, "~": 61, "]": 62,
                 "|": 64, "€": 101}


def address_field(number, length_in_octets=False):
    digits = number.lstrip("+")
    padded = digits + "F" * (len(digits) % 2)
    swapped = "".join(padded[i + 1] + padded[i] for i in range(0, len(padded), 2))
    length = len(swapped) // 2 + 1 if length_in_octets else len(digits)
    return "%02X" % length + ("91" if number.startswith("+") else "81") + swapped


def pack_septets(text):
    septets = []
    for ch in text:
        if ch in GSM_EXTENSION:
            septets += [27, GSM_EXTENSION[ch]]
        else:
            septets.append(GSM_ALPHABET.find(ch) if ch in GSM_ALPHABET else 63)  # "?"
    acc, bits, out = 0, 0, bytearray()
    for s in septets:
        acc |= s << bits
        bits += 7
        while bits >= 8:
            out.append(acc & 0xFF)
            acc, bits = acc >> 8, bits - 8
    if bits:
        out.append(acc & 0xFF)
    return "%02X" % len(septets) + out.hex().upper()


def deliver_pdu(sender, text):
    return (address_field(SMSC, length_in_octets=True) + "04" + address_field(sender) + "0000" +
            "42102030405000" + pack_septets(text))


class GsmSimulator(PtyDevice):
    def __init__(self, link):
        super().__init__(link)
        self.messages, self.commands, self.sent = {}, [], []
        self.on_event = lambda event: None
        self.mode, self._next_index, self._buffer, self._body_target = 0, 1, b"", None

    def store_sms(self, sender, text):
        with self._lock:
            self.messages[self._next_index] = deliver_pdu(sender, text)
            self._next_index += 1

    def receive(self, data):
        self._buffer += data
        self._process()

    def _process(self):
        while True:
            if self._body_target is not None:  # a message body ends with Ctrl-Z
                end = self._buffer.find(b"\x1a")
                if end < 0:
                    return
                body = self._buffer[:end].lstrip(b"\r\n").decode("latin-1")
                self._buffer = self._buffer[end + 1:]
                target, self._body_target = self._body_target, None
                self._message(target, body)
                continue
            end = self._buffer.find(b"\r")
            if end < 0:
                return
            line = self._buffer[:end].strip(b"\n ").decode("latin-1")
            self._buffer = self._buffer[end + 1:]
            if line:
                self._command(line)

    def _reply(self, text):
        self.write("\r\n" + text + "\r\n")

    def _command(self, cmd):
        self.commands.append(cmd)
        self.on_event(dict(kind="command", command=cmd))
        self.write(cmd + "\r")  # echo
        upper, arg = cmd.upper(), cmd[8:]
        if not upper.startswith("AT"):
            self._reply("ERROR")
        elif upper.startswith("AT+CMGF="):
            self.mode = int(arg) if arg.isdigit() else 0
            self._reply("OK")
        elif upper == "AT+CSQ":
            self._reply("+CSQ: %s\r\n\r\nOK" % SIGNAL)
        elif upper.startswith("AT+CMGL"):
            out = "".join("+CMGL: %d,0,,%d\r\n%s\r\n" % (i, len(pdu) // 2 - int(pdu[:2], 16) - 1,
                                                         pdu)
                          for i, pdu in sorted(self.messages.items()))
            self.write("\r\n" + out + "\r\nOK\r\n")
        elif upper.startswith("AT+CMGD="):
            found = self.messages.pop(int(arg.split(",")[0] or 0), None)
            self._reply("OK" if found else "+CMS ERROR: 321")
        elif upper.startswith("AT+CMGS="):
            self._body_target = arg
            self.write("\r\n> ")
        else:
            self._reply("OK")

    def _message(self, target, body):
        if self.mode == 0:  # the TPDU is the last `target` octets, after the service centre
            sca = len(body) - 2 * int(target)
            record = dict(mode="pdu", sca=body[:sca], tpdu=body[sca:])
        else:
            record = dict(mode="text" if self.mode == 1 else "tetra", number=target.strip('"'),
                          text=body)
        self.sent.append(record)
        self.on_event(dict(kind="sent", **record))
        self._reply("+CMGS: %d\r\n\r\nOK" % len(self.sent))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--link", required=True, help="path of the device link to create")
    args = parser.parse_args()
    serve_until_signalled(GsmSimulator(args.link), args.link)


if __name__ == "__main__":
    main()
