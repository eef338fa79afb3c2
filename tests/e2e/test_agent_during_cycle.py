"""An agent request that arrives while a cycle is delivering takes effect when the cycle ends:
the Set is answered at once, the cycle finishes its delivery, then the activation drops the
files that arrived meanwhile."""
import asyncio
import socket
import threading

from aiosmtpd.controller import Controller
from snmp_helpers import P, Varnel, wait_for

ALL_DAY = 16777215
DUTY = {f"DutyTime{d}": ALL_DAY for d in ("Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun")}


class HeldRelay:
    """aiosmtpd on loopback whose DATA handler holds the mail until the test releases it."""

    def __init__(self):
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        self.in_data = threading.Event()
        self.release = threading.Event()
        self.mails = []
        self.controller = Controller(self, hostname="127.0.0.1", port=self.port)

    async def handle_DATA(self, server, session, envelope):
        self.in_data.set()
        await asyncio.get_running_loop().run_in_executor(None, self.release.wait, 60)
        self.mails.append(envelope.content)
        return "250 2.0.0 Accepted"


def run_state(v, value):
    r = v.snmp("snmpset", f"{P}.1.1.1.0", "i", str(value), community="private")
    assert r.returncode == 0, r.stderr
    return r.stdout.strip()


def test_resume_during_a_delivery_waits_for_the_cycle_to_end(tmp_path):
    v = Varnel(tmp_path / "home", check_interval=5)
    relay = HeldRelay()
    v.add_row("Settings_Mail_SMTP", Name="Relay", HostAddress="127.0.0.1", MailPort=relay.port,
              SenderAddress="varnel@example.org", CharSet="utf-8", MailSubject="Varnel alarm",
              Importance="Normal", TimeOut=60, MaxChar=1000, Retries=0)
    v.add_row("Recv_Mail_SMTP", Name="Ops", Enabled=1, MailAddress="ops@example.org",
              MailServer1="Relay", **DUTY)
    v.add_row("SuppGrp_Perm", Name="all", Enabled=1, Priority="5 - Normal", PrioritySearch="<=",
              NodeName="*", NodeNameSearch="=", Message="*", MessageSearch="=",
              RecvName1="Ops", RecvType1="MailSMTP", **DUTY)
    held, late = v.home / "SmsCmd.log", v.home / "SnmpMess.log"
    relay.controller.start()
    try:
        v.start()
        (v.home / "Event.log.tmp").write_text("2026-01-05 10:00:00\t2 - Major\tsw1\tport down\r\n")
        (v.home / "Event.log.tmp").rename(v.home / "Event.log")
        assert relay.in_data.wait(30), "the cycle never reached the relay"
        # The cycle is inside the delivery: its event is logged already.
        assert [e[1:] for e in v.events()] == [("sw1", "port down")]

        # Pause, then resume (which re-initialises): both answered at once.
        held.write_text("+4670\tSTATUS\r\n")
        assert run_state(v, 2).endswith("INTEGER: 2")
        assert run_state(v, 1).endswith("INTEGER: 1")
        late.write_text("x\r\n")
        # The delivery is still held, so nothing has been dropped yet.
        assert held.exists() and late.exists()

        relay.release.set()
        # The re-initialisation runs once the cycle has delivered and logged the mail.
        assert wait_for(lambda: not held.exists() and not late.exists(), 30)
        assert len(relay.mails) == 1
        assert v.query("SELECT Receiver, SendStatusInt FROM LogFiles_Alarm") == [("Ops", 1)]
        out = v.snmp("snmpget", f"{P}.1.1.1.0").stdout.strip()
        assert out.endswith("INTEGER: 1")
    finally:
        relay.release.set()
        rc, stderr = v.stop()
        relay.controller.stop()
    assert rc == 0, stderr
