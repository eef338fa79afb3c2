"""An alarm panel on a pty whose slave side is linked as a serial device, and the printer
output of each panel type as the panels print it."""

import os
import pty
import tty


def cerberus_record(node, text, zone=14, stamp="26.06.26 10:15:03"):
    """One 259-character record: header columns, then node and text at character 190."""
    head = f" {stamp}  ALARM      ZONE {zone:03d}  LINE 2  DET 07  ACK REQUIRED".ljust(189)
    record = (head + (node + " " + text).ljust(41)[:41]).ljust(257) + "\r\n"
    assert len(record) == 259
    return record.encode("latin-1")


def nms10_message(node, text, priority, cleared=False, number=4711,
                  stamp="2026-06-26 10:15:03"):
    """CR LF, the fixed columns (node at 3, text at 64, priority at 145, state at 160), CR LF."""
    body = (node.ljust(29) + f" {stamp} {number:>8}".ljust(32) + text.ljust(79) + "  " +
            priority.ljust(15) + ("Cleared" if cleared else "").ljust(10) +
            "  NOTIFIED  OPERATOR: NONE".ljust(31))
    return ("\r\n" + body + "\r\n").encode("latin-1")


def tecoma_line(text, loop=1, stamp="26-06-26 10:15:03"):
    """A printer line: 22 columns of time and loop, the text from character 23, CR LF."""
    line = f"{stamp} L{loop:02d} " + text
    return (line.ljust(88) + "\r\n").encode("cp437")


class PanelSimulator:
    """A pty linked at `link`; write() prints bytes, vanish() closes the device's far end and
    come_back() makes a new device under the same link."""

    def __init__(self, link):
        self.link = str(link)
        self._master = self._slave = None

    def __enter__(self):
        self.come_back()
        return self

    def __exit__(self, *exc):
        self.vanish()

    def come_back(self):
        self._master, self._slave = pty.openpty()
        tty.setraw(self._slave)
        if os.path.lexists(self.link):
            os.unlink(self.link)
        os.makedirs(os.path.dirname(self.link) or ".", exist_ok=True)
        os.symlink(os.ttyname(self._slave), self.link)

    def vanish(self):
        if self._master is not None:
            os.close(self._master)
            os.close(self._slave)
            self._master = self._slave = None
        if os.path.islink(self.link):
            os.unlink(self.link)

    def write(self, data):
        view = memoryview(data)
        while view:
            view = view[os.write(self._master, view):]

