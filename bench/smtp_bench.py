#!/usr/bin/env python3
"""SMTP intake throughput: 1,000 mails from 9 parallel clients (one connection per mail) into
the service's listener until all are lines of "Event.log", against the same load delivered to
an aiosmtpd sink in the same run.  Usage: smtp_bench.py BUILD_DIR [--mails=N]"""
import os
import shutil
import socket
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

CLIENTS = 9


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_port(port, proc, timeout=30):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            sys.exit(f"the server exited with {proc.returncode}")
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return
        except OSError:
            time.sleep(0.05)
    sys.exit(f"nothing listens on port {port}")


def send_mail(port, n):
    """One mail in its own session; every reply is read before the next command."""
    with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
        f = s.makefile("rb")

        def expect(code):
            line = f.readline()
            if not line.startswith(code):
                raise RuntimeError(f"mail {n}: expected {code!r}, got {line!r}")

        expect(b"220")
        for command, code in ((b"HELO bench.example", b"250"),
                              (b"MAIL FROM:<bench@example.org>", b"250"),
                              (b"RCPT TO:<alarm@varnel.example>", b"250"), (b"DATA", b"354")):
            s.sendall(command + b"\r\n")
            expect(code)
        s.sendall(b"From: bench@example.org\r\nTo: alarm@varnel.example\r\n"
                  b"Subject: node%d 2 interface %d down\r\n\r\nsent by the benchmark\r\n.\r\n"
                  % (n % 97, n))
        expect(b"250")
        s.sendall(b"QUIT\r\n")
        expect(b"221")


def run_load(port, mails):
    """Sends the mails from CLIENTS threads; the seconds it took."""
    counter, lock, errors = iter(range(mails)), threading.Lock(), []

    def client():
        while True:
            with lock:
                n = next(counter, None)
            if n is None:
                return
            try:
                send_mail(port, n)
            except Exception as e:  # noqa: BLE001 - reported after the run
                errors.append(e)
                return

    threads = [threading.Thread(target=client) for _ in range(CLIENTS)]
    start = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    if errors:
        sys.exit(f"{len(errors)} clients failed: {errors[0]}")
    return time.monotonic() - start


def event_lines(path):
    try:
        with open(path, "rb") as f:
            return f.read().count(b"\n")
    except FileNotFoundError:
        return 0


def bench_varnel(build, mails):
    home = tempfile.mkdtemp(prefix="varnel-bench-")
    try:
        subprocess.run([os.path.join(build, "varnel-admin"), "init", home + "/h"], check=True,
                       capture_output=True)
        home += "/h"
        port = free_port()
        with open(home + "/Varnel.ini", "w") as f:
            f.write("SMTPSERVERMULTIHOMED=1\r\n")
        with sqlite3.connect(home + "/Varnel.mdb") as db:
            db.execute("UPDATE Event_SMTP SET Enabled=1, IpAddress='127.0.0.1', TcpPort=?", (port,))
        # A tick of an hour: no cycle takes "Event.log" away while it is counted.
        env = dict(os.environ, VARNEL_HOME=home, VARNEL_TICK_MS="3600000")
        proc = subprocess.Popen([os.path.join(build, "varnel")], env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wait_port(port, proc)
            start = time.monotonic()
            run_load(port, mails)
            log = home + "/Event.log"
            while event_lines(log) < mails:
                if time.monotonic() - start > 600:
                    sys.exit(f"only {event_lines(log)} of {mails} Event.log lines")
                time.sleep(0.01)
            return time.monotonic() - start
        finally:
            proc.terminate()
            proc.wait()
    finally:
        shutil.rmtree(os.path.dirname(home), ignore_errors=True)


def bench_sink(mails):
    port = free_port()
    proc = subprocess.Popen(["/usr/bin/python3", "-m", "aiosmtpd", "-n", "-l",
                             f"127.0.0.1:{port}", "-c", "aiosmtpd.handlers.Sink"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_port(port, proc)
        return run_load(port, mails)
    finally:
        proc.terminate()
        proc.wait()


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    mails = next((int(a.split("=", 1)[1]) for a in sys.argv[2:] if a.startswith("--mails=")),
                 1000)
    varnel = mails / bench_varnel(build, mails)
    sink = mails / bench_sink(mails)
    print(f"smtp_bench: {mails} mails from {CLIENTS} clients, one session each")
    print(f"  varnel SMTP listener to Event.log lines: {varnel:8.0f} mails/s")
    print(f"  aiosmtpd sink (the peer's own ingest):   {sink:8.0f} mails/s")
    print(f"  ratio varnel / aiosmtpd:                 {varnel / sink:8.2f}")


if __name__ == "__main__":
    main()
