"""A serial device on a pty for the service to open: the slave side is linked at a path, and
a thread hands what the service writes to the device's receive() and lets it answer with
write(). A device that does not hold the slave open itself learns when the service closes
the port (closed() is called), as a modem sees DTR drop."""

import json
import os
import pty
import select
import signal
import threading
import time
import tty


class PtyDevice:
    hold_slave = True

    def __init__(self, link):
        self.link = str(link)
        self._lock, self._stop = threading.Lock(), threading.Event()

    def __enter__(self):
        self._master, slave = pty.openpty()
        tty.setraw(slave)
        os.set_blocking(self._master, False)
        if os.path.lexists(self.link):
            os.unlink(self.link)
        os.makedirs(os.path.dirname(self.link) or ".", exist_ok=True)
        os.symlink(os.ttyname(slave), self.link)
        self._slave = slave if self.hold_slave else os.close(slave)
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join(timeout=2)
        os.close(self._master)
        if self._slave is not None:
            os.close(self._slave)
        if os.path.islink(self.link):
            os.unlink(self.link)

    def write(self, data):
        """Writes bytes (or a text as Latin-1); gives up when the service closed the port."""
        view = memoryview(data if isinstance(data, bytes) else data.encode("latin-1", "replace"))
        while view and not self._stop.is_set():
            try:
                view = view[os.write(self._master, view):]
            except BlockingIOError:
                time.sleep(0.01)
            except OSError:
                return

    def receive(self, data):
        raise NotImplementedError

    def closed(self):
        pass

    def _run(self):
        is_open = False
        while not self._stop.is_set():
            if not select.select([self._master], [], [], 0.02)[0]:
                continue
            try:
                data = os.read(self._master, 4096)
            except OSError:  # nobody holds the device open; wait for the next session
                if is_open:
                    with self._lock:
                        self.closed()
                is_open = False
                time.sleep(0.02)
                continue
            is_open = True
            with self._lock:
                self.receive(data)


def serve_until_signalled(device, link):
    """Runs a device from the command line: each event it reports is printed as a JSON line,
    "ready" first, until SIGINT or SIGTERM."""
    device.on_event = lambda e: print(json.dumps(e), flush=True)
    done = threading.Event()
    for s in (signal.SIGINT, signal.SIGTERM):
        signal.signal(s, lambda *_: done.set())
    with device:
        print(json.dumps(dict(kind="ready", link=link)), flush=True)
        done.wait()
