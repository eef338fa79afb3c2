"""A Hayes modem on a pty in front of a paging centre: TAP, UCP (directly or behind a packet
assembler's prompt), or, without a modem, an ESPA 4.4.4 paging system on the serial line.
With no centre the modem only places calls, as for numeric pagers. It records every
command, every dialled number and DTMF code, and every page received (in .pages), and
checks the length, checksums and BCC the protocols carry.

Fault switches (.faults, a set): "busy", "dial silent", "init silent" (modem); "no prompt",
"logon nak", "logon silent", "no go-ahead", "block nak", "block silent" (TAP); "silent",
"nack NN", "no etx" (UCP); "poll silent", "block silent" (ESPA); "garbage" (the centre
answers noise), "flood" (it answers a flood of noise), "drop carrier" (the modem loses the
line when a block arrives).

Standalone it prints one JSON line per page until interrupted."""

import argparse

from pty_device import PtyDevice, serve_until_signalled

STX, ETX, EOT, ENQ, ACK, NAK, ESC, SOH, RS, US = "\x02\x03\x04\x05\x06\x15\x1b\x01\x1e\x1f"
NOISE = "+-~xq" * 40
# UCP text coding: the values that differ from the character's own code.
UCP_LETTERS = {0x00: "@", 0x02: "$", 0x5B: "Ä", 0x5C: "Ö", 0x0E: "Å", 0x7B: "ä", 0x7C: "ö",
               0x0F: "å", 0x0B: "Ø", 0x0C: "ø"}


def ucp_checksum(text):
    return "%02X" % (sum(text.encode("latin-1")) % 256)


def ucp_frame(trn, rest):
    """A whole frame: transaction reference, LEN, the fields after it and the checksum."""
    body = "%s/%05d/%s" % (trn, len(trn) + 7 + len(rest) + 2, rest)
    return STX + body + ucp_checksum(body) + ETX


def ucp_text(hex_text):
    return "".join(UCP_LETTERS.get(v, chr(v)) for v in bytes.fromhex(hex_text))


class PagingSimulator(PtyDevice):
    hold_slave = False  # a closed port ends the call, like DTR dropping

    def __init__(self, link, centre="tap", poll_address="2"):
        super().__init__(link)
        self.centre, self.poll_address, self.faults = centre, poll_address, set()
        self.notification = None  # text of the delivery notification of operation 30
        self.commands, self.dialled, self.tones, self.logons, self.pages, self.acks = \
            [], [], [], [], [], []
        self.on_event = lambda event: None
        self.closed()

    def closed(self):
        self._buffer, self._state = "", "espa" if self.centre == "espa" else "command"

    def _page(self, **record):
        self.pages.append(record)
        self.on_event(dict(kind="page", **record))

    def _answer(self, text):
        if "flood" in self.faults:
            self.write(NOISE * 1500)
        else:
            self.write(NOISE if "garbage" in self.faults else text)

    def receive(self, data):
        self._buffer += data.decode("latin-1")
        while getattr(self, "_" + self._state.replace(" ", "_"))():
            pass

    def _take(self, end, extra=0):
        """The buffer up to and including end and extra characters after it, or None."""
        at = self._buffer.find(end)
        if at < 0 or len(self._buffer) < at + len(end) + extra:
            return None
        taken, self._buffer = self._buffer[:at + len(end) + extra], self._buffer[at + len(end) + extra:]
        return taken

    # The modem in command mode.
    def _command(self):
        line = self._take("\r")
        if line is None:
            return False
        line = line.strip("\r\n ")
        if not line:
            return True
        self.commands.append(line)
        self.write(line + "\r")
        upper = line.upper()
        if upper.startswith("ATD"):
            self._dial(line[3:].lstrip("TtPp"))
        elif upper.startswith("AT+VTS="):
            self.tones.append(line[7:])
            self.write("\r\nOK\r\n")
        elif upper.startswith("AT") and "init silent" not in self.faults:
            self.write("\r\nOK\r\n")
        return True

    def _dial(self, number):
        self.dialled.append(number)
        if number.endswith(";"):  # a voice call stays in command mode
            self.write("\r\nOK\r\n")
            return
        if "busy" in self.faults:
            self.write("\r\nBUSY\r\n")
            return
        if "dial silent" in self.faults or self.centre is None:
            return
        self.write("\r\nCONNECT 9600\r\n")
        self._state = {"tap": "tap prompt", "ucp": "ucp", "pad": "pad"}[self.centre]
        if self.centre == "pad":
            self._answer("\r\n*")

    def _lost_carrier(self):
        if "drop carrier" not in self.faults:
            return False
        self.write("\r\nNO CARRIER\r\n")
        self._state = "command"
        return True

    # TAP: prompt, logon, blocks, end.
    def _tap_prompt(self):
        if self._take("\r") is None:
            return False
        if "no prompt" not in self.faults:
            self._answer("ID=")
            self._state = "tap logon"
        return True

    def _tap_logon(self):
        line = self._take("\r")
        if line is None:
            return False
        if ESC not in line:
            return True  # another CR for the prompt
        self.logons.append(line[line.index(ESC) + 1:-1])
        if "logon nak" in self.faults:
            self._answer("\r" + NAK + "\r")
        elif "logon silent" not in self.faults:
            self._answer("110 1.8\r" + ACK + "\r" + ("" if "no go-ahead" in self.faults
                                                      else ESC + "[p\r"))
            self._state = "tap blocks"
        return True

    def _tap_blocks(self):
        if self._buffer.startswith(EOT):
            self._buffer = ""
            self.write("\r" + ESC + EOT + "\r\r\nNO CARRIER\r\n")
            self._state = "command"
            return False
        block = self._take(ETX, 4)
        if block is None:
            return False
        block = block[block.find(STX):]
        if self._lost_carrier():
            return True
        total = sum(block[:-4].encode("latin-1")) % 4096
        good = block[-4:] == "%c%c%c\r" % (48 + total // 256, 48 + total % 256 // 16,
                                             48 + total % 16)
        number, text = block[1:-5].split("\r")[:2]
        if good:
            self._page(protocol="TAP", number=number, text=text)
        if "block silent" in self.faults:
            return True
        if "block nak" in self.faults or not good:
            self._answer("Message rejected\r" + NAK + "\r")
        else:
            self._answer("Message accepted\r" + ACK + "\r")
        return True

    # UCP, behind the packet assembler's prompt or not.
    def _pad(self):
        line = self._take("\r")
        if line is None:
            return False
        if line.strip() == "...":
            self._answer("*")
        elif line.strip() == "ACCESS MINICALLUCP":
            self._state = "ucp"
        return True

    def _ucp(self):
        frame = self._take(ETX)
        if frame is None:
            return False
        frame = frame[frame.find(STX) + 1:-1]
        if self._lost_carrier():
            return True
        body, checksum = frame[:-2], frame[-2:]
        fields = body.split("/")
        if fields[2:4] == ["R", "01"]:
            self.acks.append(frame)  # the acknowledgement of a notification
            return True
        trn, op = fields[0], fields[3]
        if len(frame) != int(fields[1]) or ucp_checksum(body) != checksum:
            return self._ucp_reply(trn, op + "/N/01/")
        number, originator, code = fields[4:7]
        record = dict(protocol="UCP-" + op, number=number, originator=originator, code=code)
        if op == "01":
            record.update(type=fields[7], text=ucp_text(fields[8]))
        else:
            record.update(notify=fields[7], text=ucp_text(fields[13]))
        self._page(**record)
        nack = [f for f in self.faults if f.startswith("nack ")]
        if nack:
            return self._ucp_reply(trn, op + "/N/%s//" % nack[0][5:])
        if "silent" in self.faults:
            return True
        self._ucp_reply(trn, op + "/A//")
        if op == "30" and record["notify"] == "1" and self.notification is not None:
            self._answer(ucp_frame("05", "O/53/%s/%s/0/260626101500/0/000/260626101501//3/%s/" % (
                number, originator, self.notification.encode("latin-1").hex().upper())))
        return True

    def _ucp_reply(self, trn, rest):
        frame = ucp_frame(trn, "R/" + rest)
        self._answer(frame[:-1] if "no etx" in self.faults else frame)
        return True

    # ESPA 4.4.4 on the serial line.
    def _espa(self):
        self._buffer = self._buffer.lstrip(EOT)
        if self._buffer.startswith(SOH):
            frame = self._take(ETX, 1)
            if frame is None:
                return False
            data, bcc = frame[1:-1], frame[-1]
            check = 0
            for c in data:
                check ^= ord(c)
            number, text = data[4:].rstrip(ETX).split(RS + "2" + US)
            if check == ord(bcc):
                self._page(protocol="ESPA", number=number, text=text)
                if "block silent" not in self.faults:
                    self._answer(ACK)
            return True
        poll = self._take(ENQ)
        if poll is None:
            return False
        if poll[:-1] == self.poll_address and "poll silent" not in self.faults:
            self._answer(ACK)
        return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--link", required=True, help="path of the device link to create")
    parser.add_argument("--centre", default="tap", choices=["tap", "ucp", "pad", "espa"])
    args = parser.parse_args()
    serve_until_signalled(PagingSimulator(args.link, args.centre), args.link)


if __name__ == "__main__":
    main()
