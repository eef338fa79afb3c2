"""SMS through a GSM terminal: the real service binary and the SMS transport against the
pty terminal simulator, and the PDU codecs against python-gammu."""

import glob
import os
import random
import signal
import sqlite3
import subprocess
import sys
import time

import pytest

sys.path.insert(0, os.path.dirname(__file__))
from gsm_simulator import GsmSimulator  # noqa: E402

gammu = pytest.importorskip("gammu")

BIN = os.environ.get("VARNEL_BIN")
ADMIN = os.environ.get("VARNEL_ADMIN_BIN")
PROBE = os.path.join(os.path.dirname(BIN), "varnel_gsm_probe") if BIN else None
pytestmark = pytest.mark.skipif(not BIN or not ADMIN, reason="VARNEL_BIN/VARNEL_ADMIN_BIN not set")

HELLO_PDU = "010005916407F000000AE8329BFD4697D9EC37"


def sql(home, statement, *args):
    with sqlite3.connect(home / "Varnel.mdb") as db:
        rows = db.execute(statement, args).fetchall()
    return rows


def wait_until(predicate, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.1)
    return predicate()


@pytest.fixture
def home(tmp_path):
    h = tmp_path / "home"
    subprocess.run([ADMIN, "init", str(h)], check=True, capture_output=True)
    sql(h, "UPDATE Settings_Modem SET CommPort=1, ModemInitString='ATZ', ModemSpeed='9600', "
           "ModemSettings='n,8,1', ModemCommDelays='Short', Retries=1")
    sql(h, "UPDATE Settings_General SET DebugMode='Modem Communication'")
    return h


@pytest.fixture
def sim(home):
    with GsmSimulator(home / "ports" / "COM1") as s:
        yield s


def enable_reader(home, protocol="ETSI 07.05-PDU SCA"):
    sql(home, "UPDATE Event_SMS SET Enabled=1, PMS='SIM', Protocol=?", protocol)


def reader_status(home):
    return sql(home, "SELECT Status FROM Event_SMS")[0][0]


class Service:
    """The varnel binary on a program directory, with a short tick."""

    def __init__(self, home, fake_start=None):
        self.home = home
        self.events_file = home / "events.txt"
        env = dict(os.environ, VARNEL_HOME=str(home), VARNEL_EVENTLOG_FILE=str(self.events_file),
                   VARNEL_TICK_MS="100")
        if fake_start:
            # The clock starts at fake_start and runs on; timers keep the real monotonic clock.
            lib = glob.glob("/usr/lib/*/faketime/libfaketime.so.1")
            if not lib:
                pytest.skip("libfaketime not installed")
            env.update(LD_PRELOAD=lib[0], FAKETIME="@" + fake_start,
                       FAKETIME_DONT_FAKE_MONOTONIC="1",
                       ASAN_OPTIONS="verify_asan_link_order=0:alloc_dealloc_mismatch=0")
        self.proc = subprocess.Popen([BIN], env=env, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True)

    def events(self):
        if not self.events_file.exists():
            return []
        out = []
        for line in self.events_file.read_text(errors="replace").splitlines():
            parts = line.split("\t", 3)
            if len(parts) == 4:
                out.append((int(parts[2]), parts[3]))
        return out

    def wait_event(self, event_id, text, timeout=20):
        return wait_until(lambda: (event_id, text) in self.events(), timeout)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        try:
            _, err = self.proc.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise
        assert self.proc.returncode == 0, err
        assert any(e[0] == 102 for e in self.events())


# --- incoming SMS through the service ---

def test_messages_stored_while_down_are_cleared_at_start(home, sim):
    enable_reader(home)
    sim.store_sms("+46701234567", "ACK 901")
    sim.store_sms("+4670123", "1")
    svc = Service(home)
    try:
        assert wait_until(lambda: "SMS Server Started" in reader_status(home), 30)
        assert sim.messages == {}
        assert sim.commands == ["ATZ", "AT+CMGF=0", "AT+CSMS=0", 'AT+CPMS="SM"', "AT+CMGL=4",
                                "AT+CMGD=1", "AT+CMGD=2"]
        assert reader_status(home).endswith("\r\nSMS Server Started\r\n")
        time.sleep(1)
        assert not (home / "SmsCmd.log").exists()
    finally:
        svc.stop()
    trace = (home / "Debug" / "Modem_Communication.txt").read_text()
    assert "############ Start of Session ############" in trace
    assert trace.rstrip().endswith("Set DTR to False --> OK.")


def test_waiting_sms_reaches_the_command_file_within_a_minute(home, sim):
    enable_reader(home)
    sql(home, "UPDATE Event_SMS SET PMS='Phone'")
    # Start a few seconds before a minute turns, so the once-a-minute read comes soon.
    svc = Service(home, fake_start="2026-06-26 10:14:50")
    try:
        assert wait_until(lambda: "SMS Server Started" in reader_status(home), 30)
        sim.store_sms("+46701234567", "ACK 901")
        sim.store_sms("+4670123", "Åsa [ok] {1}")
        log = home / "SmsCmd.log"
        assert wait_until(lambda: log.exists() and len(log.read_bytes().splitlines()) >= 2, 70)
        assert log.read_text(encoding="utf-8").splitlines() == [
            "46701234567\tACK 901", "4670123\tÅsa [ok] {1}"]
        assert sim.wait_for(lambda s: s.messages == {})
        assert 'AT+CPMS="ME"' in sim.commands
    finally:
        svc.stop()


def test_missing_device_is_reported_and_the_service_runs_on(home):
    enable_reader(home)
    (home / "ports" / "COM1").symlink_to(home / "no-such-device")
    svc = Service(home)
    try:
        assert svc.wait_event(106, "COM: Failed to open COM1 (Module: ReadSms)")
        assert (106, "[8002] Invalid port number (Module: PortOpen)") in svc.events()
        assert wait_until(lambda: "SMS Server Started" in reader_status(home), 10)
    finally:
        svc.stop()


def test_disabled_reader_never_touches_the_terminal(home, sim):
    sim.store_sms("+4670123", "x")
    svc = Service(home)
    try:
        assert wait_until(lambda: reader_status(home) == "Not Started", 20)
        time.sleep(1)
        assert sim.commands == []
    finally:
        svc.stop()


@pytest.mark.parametrize("fault", ["silent", "flooding", "garbage"])
def test_terminal_that_never_answers_ends_the_session_within_its_time_outs(home, sim, fault):
    enable_reader(home)
    if fault == "silent":
        sim.silent = True
    elif fault == "flooding":  # garbage on the line all the time, and no answers
        sim.flooding = sim.silent = True
    else:  # garbage for an echo, and ERROR to everything
        sim.garbage_echo = True
        sim.error_to.add("*")
    start = time.monotonic()
    svc = Service(home)
    try:
        assert svc.wait_event(106, "MT-SMS: Error when sending ATZ<CR> to MS. (Module: ReadSms)",
                              timeout=30)
        elapsed = time.monotonic() - start
        assert 7 < elapsed < 25  # two 4-second waits for the initialisation
        assert sim.commands == ["ATZ", "ATZ"]
        assert wait_until(lambda: "SMS Server Started" in reader_status(home), 10)
    finally:
        svc.stop()
    trace = (home / "Debug" / "Modem_Communication.txt").read_text(errors="replace")
    assert "Time Out..." in trace
    assert "Close Port --> OK." in trace


def test_device_that_vanishes_mid_session_closes_the_port(home, sim):
    enable_reader(home)
    sim.store_sms("+4670123", "x")
    sim.vanish_after = "AT+CMGL=4"
    svc = Service(home)
    try:
        assert svc.wait_event(106, "MT-SMS: Error when sending AT+CMGL=4<CR> to MS. "
                                   "(Module: ReadSms)", timeout=30)
        errors = [t for i, t in svc.events() if i == 106]
        assert any(t.startswith("[57] Device I/O error") for t in errors)
    finally:
        svc.stop()
    trace = (home / "Debug" / "Modem_Communication.txt").read_text(errors="replace")
    assert "Close Port --> OK." in trace


# --- sending through the transport ---

def add_operator(home, protocol, charset="GSM 3.38 Default", max_char=160):
    sql(home, "INSERT INTO Settings_Oper_Phone_MO (Name, Protocol, TerminalNumber, "
              "ModemInitString, ModemSpeed, ModemSettings, MaxChar, CharSet) "
              "VALUES ('Alpha', ?, '+4670000', 'ATZ', '9600', 'n,8,1', ?, ?)",
        protocol, max_char, charset)


def send(home, phone, message, oper="Alpha"):
    start = time.monotonic()
    r = subprocess.run([PROBE, "send", str(home), oper, phone, "Ops", message],
                       capture_output=True, text=True, timeout=120)
    assert r.returncode == 0, r.stderr
    status, _, text = r.stdout.rstrip("\n").partition("\t")
    return int(status), text, time.monotonic() - start


def decode_submit(tpdu):
    d = gammu.DecodePDU(bytes.fromhex("00" + tpdu), SMSC=True)
    return d["Number"], d["Text"]


@pytest.mark.parametrize("protocol,charset,commands,record", [
    ("ETSI 07.05-PDU", "GSM 3.38 Default",
     ["ATZ", "AT+CMGF=0", 'AT+CSCS="GSM"', "AT+CSMS=0", 'AT+CSCA="+4670000"', "AT+CSQ",
      "AT+CMGS=19"],
     dict(mode="pdu", sca="", tpdu=HELLO_PDU)),
    ("ETSI 07.05-PDU SCA", "GSM 3.38 Default",
     ["ATZ", "AT+CMGF=0", 'AT+CSCS="GSM"', "AT+CSMS=0", "AT+CSQ", "AT+CMGS=19"],
     dict(mode="pdu", sca="0591640700F0", tpdu=HELLO_PDU)),
    ("ETSI 07.05-TEXT", "GSM 3.38 Default",
     ["ATZ", "AT+CMGF=1", 'AT+CSCS="GSM"', "AT+CSMP=17,167,0,0", "AT+CSQ",
      'AT+CSCA="+4670000"', 'AT+CMGS="+46700"'],
     dict(mode="text", number="+46700", text="hellohello")),
    ("TETRA SDS4-TEXT", "TETRA 8859-1",
     ["ATZ", "AT+CTSDS=12,0", "AT+CMGF=8", 'AT+CSCS="8859-1"', "AT+CTSP=1,2", "AT+CSQ",
      'AT+CMGS="46700"'],
     dict(mode="tetra", number="46700", text="hellohello")),
])
def test_each_protocol_sends_its_dialogue_and_message(home, sim, protocol, charset, commands,
                                                      record):
    add_operator(home, protocol, charset)
    sim.signal = "23,99"
    status, text, _ = send(home, "46700", "hellohello")
    assert (status, text) == (1, "ALPHA[SS=23]: Message sent to receiver.")
    assert sim.commands == commands
    assert len(sim.sent) == 1
    assert {k: sim.sent[0][k] for k in record} == record
    if record["mode"] == "pdu":
        assert decode_submit(sim.sent[0]["tpdu"]) == ("+46700", "hellohello")


def test_error_to_character_set_fails_after_two_four_second_waits(home, sim):
    add_operator(home, "ETSI 07.05-PDU")
    sim.error_to.add('AT+CSCS="GSM"')
    status, text, elapsed = send(home, "46700", "hello")
    assert (status, text) == (3, "MO-SMS: Error when sending AT+CSCS=GSM<CR> to MS.")
    assert sim.commands.count('AT+CSCS="GSM"') == 2
    assert elapsed > 7
    assert sim.sent == []


def test_no_retries_sends_the_initialisation_once(home, sim):
    add_operator(home, "ETSI 07.05-PDU")
    sql(home, "UPDATE Settings_Modem SET Retries=0")
    sim.silent_to.add("ATZ")
    status, text, _ = send(home, "46700", "hello")
    assert (status, text) == (3, "MO-SMS: Error when sending ATZ<CR> to MS.")
    assert sim.commands == ["ATZ"]


def test_send_fails_cleanly_when_the_device_is_missing_or_vanishes(home, sim):
    add_operator(home, "ETSI 07.05-TEXT")
    sim.vanish_after = "AT+CSQ"
    status, text, elapsed = send(home, "46700", "hello")
    assert status == 3
    assert text == "MO-SMS: Error when sending AT+CSQ<CR> to MS."
    assert elapsed < 10
    status, text, _ = send(home, "46700", "hello")  # the link now dangles
    assert (status, text) == (3, "COM: Failed to open COM1")


# --- the codecs against an independent one ---

GSM_DEFAULT = ("@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞ\x1bÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
               "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà")
NATIONAL = "@$_ÄÅÆÖØÜäåæöøü"
EXTENSION = "[\\]^{|}~"
CP437_LETTERS = {"Ž": "Ä", "\x8f": "Å", "™": "Ö", "„": "ä", "†": "å", "”": "ö"}
POOL = ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 !\"#%&'()*+,-./:;<=>?`\n"
        + NATIONAL + EXTENSION + "éß€中£" + "Ž™„†”")


def expected_after_mapping(coder, text):
    """What a GSM phone shows for a text converted by the default or extended table."""
    out = ""
    for ch in text:
        if coder == "extended" and ch in CP437_LETTERS:
            ch = CP437_LETTERS[ch]
        if ch in NATIONAL or (coder == "extended" and ch in EXTENSION):
            out += ch
        elif ord(ch) < 128:
            out += GSM_DEFAULT[ord(ch)]
        else:
            out += " "
    return out


def test_pdus_we_build_decode_with_gammu_to_the_same_number_and_text():
    rnd = random.Random(626)
    cases = []
    for i in range(300):
        coder = ("default", "extended", "unicode")[i % 3]
        phone = "".join(rnd.choice("0123456789") for _ in range(rnd.randint(1, 15)))
        if coder == "unicode":
            # No "~": gammu shows it doubled when it decodes UCS-2.
            text = "".join(chr(rnd.choice([rnd.randint(0x20, 0x7D), rnd.randint(0xA0, 0x2FFF),
                                           rnd.randint(0x4E00, 0x9FFF)]))
                           for _ in range(rnd.randint(0, 70)))
        else:
            text = "".join(rnd.choice(POOL) for _ in range(rnd.randint(0, 70)))
        cases.append((coder, phone, text))
    stdin = "".join("%s\t%s\t%s\n" % (c, p, t.encode().hex()) for c, p, t in cases)
    r = subprocess.run([PROBE, "encode"], input=stdin, capture_output=True, text=True,
                       check=True)
    pdus = r.stdout.split()
    assert len(pdus) == len(cases)
    for (coder, phone, text), pdu in zip(cases, pdus):
        number, decoded = decode_submit(pdu)
        assert number == "+" + phone
        want = text if coder == "unicode" else expected_after_mapping(coder, text)
        # gammu sizes the decoded text by the septet count, so every escape pair leaves one
        # padding character behind the text.
        escapes = sum(ch in EXTENSION for ch in text) if coder == "extended" else 0
        assert decoded[:len(want)] == want, (coder, text, pdu)
        assert len(decoded) == len(want) + escapes


def test_pdus_gammu_builds_decode_to_the_same_sender_and_text(home):
    rnd = random.Random(2026)
    template = gammu.DecodePDU(bytes.fromhex("00" + HELLO_PDU), SMSC=True)
    pool = ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 !\"#%&'()*+,-./:;<=>?"
            + NATIONAL + EXTENSION + "€")
    cases, pdus = [], []
    for i in range(240):
        number = "".join(rnd.choice("0123456789") for _ in range(rnd.randint(3, 15)))
        if i % 4 == 3:
            coding = "Unicode_No_Compression"
            # No "~": gammu does not code it as itself in UCS-2.
            text = "".join(chr(rnd.choice([rnd.randint(0x20, 0x7D), rnd.randint(0xA0, 0xD7FF)]))
                           for _ in range(rnd.randint(1, 70)))
        else:
            coding = "Default_No_Compression"
            # At most 160 septets even when every character is an escape pair (gammu
            # overruns its buffers beyond one message).
            text = "".join(rnd.choice(pool) for _ in range(rnd.randint(1, 80)))
        sms = dict(template, Type="Deliver", Number="+" + number, Text=text, Coding=coding)
        sms["SMSC"] = dict(template["SMSC"], Number="+4670000")
        pdu = gammu.EncodePDU(sms, Layout="Deliver").hex().upper()
        sca_octets = int(pdu[:2], 16)
        pdus.append(pdu[2 + 2 * sca_octets:])
        cases.append("%s\t%s" % (number, text))
    r = subprocess.run([PROBE, "decode", str(home)], input="\n".join(pdus) + "\n",
                       capture_output=True, text=True, check=True)
    assert r.stderr == ""
    lines = (home / "SmsCmd.log").read_bytes().decode("utf-8").split("\r\n")[:-1]
    assert lines == cases
