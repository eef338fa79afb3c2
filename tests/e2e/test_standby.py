"""A primary and its standby on loopback, each in its own program directory."""
import io
import os
import pathlib
import socket
import sqlite3
import time
import types
import zipfile

import pytest

from conftest import DUTY, P, SteppedClock, Varnel, free_port, needs, wait_until

STANDBY = "127.0.0.3"  # the primary runs on 127.0.0.1


@pytest.fixture
def pair(tmp_path):
    """Two installations sharing the agent's port number, their roles set by their ini files."""
    port, made = free_port(), []

    def make(name, address, primary):
        v = Varnel(tmp_path / name).init()
        v.host, v.agent_port = address, port
        v.set("Settings_SNMP_Agent", Enabled=1, IpAddress=address, UdpPort=port,
              GetComm="public", SetComm="private")
        v.set("Settings_General", RemoteBackup=1, PrimaryAddress="127.0.0.1",
              BackupAddress=STANDBY, DebugMode="Remote Backup")
        pathlib.Path(v.path("Varnel.ini")).write_text(f"PRIMARYSYSTEM={str(primary).lower()}\n")
        made.append(v)
        return v

    yield types.SimpleNamespace(primary=make("primary", "127.0.0.1", True),
                                standby=make("standby", STANDBY, False), port=port)
    for v in made:
        if v.alive():
            v.proc.kill()
            v.proc.wait()


def groups(v):
    return [r[0] for r in v.query("SELECT Name FROM SuppGrp_Perm ORDER BY Name")]


def entries(v):
    """(id, text) of every system log entry."""
    lines = [line.split("\t", 3) for line in v.read(v.log_path).splitlines()]
    return [(int(p[2]), p[3]) for p in lines if len(p) == 4]


@needs("snmpset", faketime=True)
def test_primary_database_reaches_the_standby_at_start_and_at_the_daily_copy(pair, tmp_path):
    p, s = pair.primary, pair.standby
    p.set("Settings_General", BackupVarnel=1, BackupHour=3)
    p.add_row("SuppGrp_Perm", Name="at start", Enabled=0)
    s.start()
    clock = SteppedClock(p, tmp_path)
    clock.start("2026-06-26 02:59:00")
    wait_until(lambda: groups(s) == ["at start"], what=lambda: groups(s))
    assert "This is the Backup System." in s.log(107)
    assert "This is the Primary System." in p.log(107)
    wait_until(lambda: "Database sent OK" in p.read("Debug/BackupClient.txt"))
    assert not os.path.exists(p.path("Varnel.zip"))
    server = s.read("Debug/BackupServer.txt")
    assert f"recvData: Varnel.zip---" in server and "File Received" in server
    # The standby goes on working on the new file: it re-reads its settings from it.
    s.cycle_done()
    assert groups(s) == ["at start"] and s.alive()
    p.add_row("SuppGrp_Perm", Name="at the daily copy", Enabled=0)
    p.cycle_done()  # sent once since start: the cycle does not send again
    assert groups(s) == ["at start"]
    clock.to("2026-06-26 03:00:30")
    wait_until(lambda: groups(s) == ["at start", "at the daily copy"], what=lambda: groups(s))
    assert os.path.exists(p.path("Backup/Varnel_Fri.mdb"))
    assert s.log(106) == [] and p.log(106) == []
    assert s.stop() == 0 and p.stop() == 0


def archive(files):
    data = io.BytesIO()
    with zipfile.ZipFile(data, "w", zipfile.ZIP_DEFLATED) as z:
        for name, content in files.items():
            z.writestr(name, content)
    return data.getvalue()


def database_with(v, tmp_path, group):
    """The bytes of a copy of v's database holding one more group."""
    copy = tmp_path / "copy.mdb"
    copy.unlink(missing_ok=True)
    src, dst = sqlite3.connect(v.path("Varnel.mdb")), sqlite3.connect(copy)
    src.backup(dst)
    src.close()
    dst.execute("PRAGMA journal_mode=DELETE")  # one self-contained file, as the primary sends
    dst.execute("INSERT INTO SuppGrp_Perm (Name, Enabled) VALUES (?, 0)", (group,))
    dst.commit()
    dst.close()
    return copy.read_bytes()


def transfer(port, header, payload=b"", source="127.0.0.1"):
    """Plays the primary once: header line, the standby's reply, then the payload if it
    answered OK. Returns the reply ("" when the standby closed instead)."""
    with socket.socket() as c:
        c.bind((source, 0))
        c.connect((STANDBY, port))
        c.sendall(header)
        try:
            reply = c.recv(16)
            if reply == b"OK\r\n":
                c.sendall(payload)
        except ConnectionResetError:
            reply = b""
    return reply.decode()


def test_refused_transfers_leave_the_live_database_and_the_next_one_succeeds(pair, tmp_path):
    s = pair.standby
    s.start()
    good = archive({"Varnel.mdb": database_with(s, tmp_path, "pushed"),
                    "../escaped.txt": "x", "/tmp/absolute.txt": "x"})
    line = lambda n, name="Varnel.zip": f"{name}---{n}\r\n".encode()
    size_notice = (107, "Varnel.zip_bak: Size differ from Primary System.")
    invalid = (106, "Invalid file format")
    # An idle peer holds nothing up: the next connection of the primary takes its place.
    idle = socket.create_connection((STANDBY, pair.port))
    cases = [
        ("cut in the middle", line(len(good)), good[:len(good) // 2], "127.0.0.1", "OK\r\n",
         size_notice),
        ("longer than announced", line(len(good) - 10), good, "127.0.0.1", "OK\r\n",
         size_notice),
        ("another address", line(len(good)), good, "127.0.0.2", "",
         (107, "Remote backup connection from 127.0.0.2 refused.")),
        ("name with a path", line(len(good), "../x.zip"), good, "127.0.0.1", "",
         (107, "Remote backup header refused: ../x.zip---")),
        ("entry only under a path", None, archive({"../Varnel.mdb": b"x", "Other.txt": b"x"}),
         "127.0.0.1", "OK\r\n", invalid),
        ("not a database", None, archive({"Varnel.mdb": b"not a database" * 100}),
         "127.0.0.1", "OK\r\n", invalid),
    ]
    for what, header, payload, source, reply, (event_id, text) in cases:
        before = len(entries(s))
        got = transfer(pair.port, header or line(len(payload)), payload, source)
        assert got == reply, what
        wait_until(lambda: any(i == event_id and text in t for i, t in entries(s)[before:]),
                   what=lambda: f"{what}: {entries(s)[before:]}")
        assert "pushed" not in groups(s), what
    assert s.query("PRAGMA integrity_check") == [("ok",)]
    assert transfer(pair.port, line(len(good)), good) == "OK\r\n"
    wait_until(lambda: "pushed" in groups(s), what=lambda: entries(s))
    # Only Varnel.mdb left the archive; nothing was written outside the program directory.
    assert not (tmp_path / "escaped.txt").exists() and not (tmp_path / "x.zip_bak").exists()
    assert not os.path.exists("/tmp/absolute.txt") and not (tmp_path / "Varnel.mdb").exists()
    assert not os.path.exists(s.path("Other.txt"))
    idle.close()
    assert s.stop() == 0


@needs("snmpget", modules=["aiosmtpd"])
def test_standby_takes_over_when_the_primary_is_gone(pair, relay):
    p, s = pair.primary, pair.standby
    mails = relay()
    p.add_mail_server("Relay", mails.port)
    p.add_row("Recv_Mail_SMTP", Name="Ops", Enabled=1, MailServer1="Relay",
              MailAddress="ops@example.org", **DUTY)
    p.add_group("ops", ("Ops", "MailSMTP"))
    s.set("Settings_SNMP_Agent", PollMe=1, PollMeTimeout=100)  # twenty ticks of 100 ms
    s.start()
    p.start()
    wait_until(lambda: groups(s) == ["ops"], what=lambda: groups(s))
    assert p.stop() == 0
    # Nobody polls the standby: past its watchdog it pauses and leaves drop files alone.
    time.sleep(3)
    s.drop("2026-06-26 10:00:00\t2 - Major\tcore1\twhile paused")
    time.sleep(0.5)
    assert os.path.exists(s.path("Event.log"))
    # The manager's first Get activates it; what it is sent then goes out.
    assert s.get(f"{P}.1.1.1.0") == [f".{P}.1.1.1.0 = INTEGER: 1"]
    s.drop("2026-06-26 10:01:00\t2 - Major\tcore1\tlink down")
    wait_until(lambda: [m["msg"].get_content().strip() for m in mails.mails], what="the mail")
    # What was dropped while paused went with the activation.
    assert "link down" in mails.mails[0]["msg"].get_content()
    assert not any("while paused" in m["msg"].get_content() for m in mails.mails)
    assert [m["rcpt"] for m in mails.mails] == [["ops@example.org"]]
    assert s.stop() == 0
