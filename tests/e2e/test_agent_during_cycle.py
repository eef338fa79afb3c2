"""An agent request that arrives while a cycle is delivering takes effect when the cycle ends:
the Set is answered at once, the cycle finishes its delivery, then the activation drops the
files that arrived meanwhile."""
import asyncio
import os
import socket
import threading

import pytest

from conftest import DUTY, P, free_port, wait_until


class HeldRelay:
    """aiosmtpd on loopback whose DATA handler holds the mail until the test releases it."""

    def __init__(self, controller):
        self.port = free_port(socket.SOCK_STREAM)
        self.in_data, self.release = threading.Event(), threading.Event()
        self.mails = []
        self.controller = controller.Controller(self, hostname="127.0.0.1", port=self.port)

    async def handle_DATA(self, server, session, envelope):
        self.in_data.set()
        await asyncio.get_running_loop().run_in_executor(None, self.release.wait, 60)
        self.mails.append(envelope.content)
        return "250 2.0.0 Accepted"


def test_resume_during_a_delivery_waits_for_the_cycle_to_end(varnel):
    relay = HeldRelay(pytest.importorskip("aiosmtpd.controller"))
    varnel.init().snmp_ports()
    varnel.set("Event_CheckInterval", CheckInterval=5)
    varnel.add_row("Settings_Mail_SMTP", Name="Relay", HostAddress="127.0.0.1",
                   MailPort=relay.port, SenderAddress="varnel@example.org", CharSet="utf-8",
                   MailSubject="Varnel alarm", Importance="Normal", TimeOut=60, MaxChar=1000,
                   Retries=0)
    varnel.add_row("Recv_Mail_SMTP", Name="Ops", Enabled=1, MailAddress="ops@example.org",
                   MailServer1="Relay", **DUTY)
    varnel.add_row("SuppGrp_Perm", Name="all", Enabled=1, Priority="5 - Normal",
                   PrioritySearch="<=", NodeName="*", NodeNameSearch="=", Message="*",
                   MessageSearch="=", RecvName1="Ops", RecvType1="MailSMTP", **DUTY)
    held, late = varnel.path("SmsCmd.log"), varnel.path("SnmpMess.log")
    relay.controller.start()
    try:
        varnel.start()
        varnel.drop("2026-01-05 10:00:00\t2 - Major\tsw1\tport down")
        assert relay.in_data.wait(30), "the cycle never reached the relay"
        # The cycle is inside the delivery: its event is logged already.
        assert varnel.events("NodeName, Message") == [("sw1", "port down")]

        # Pause, then resume (which re-initialises): both answered at once.
        with open(held, "w") as f:
            f.write("+4670\tSTATUS\r\n")
        assert varnel.snmp_set(f"{P}.1.1.1.0", "i", "2")[0].endswith("INTEGER: 2")
        assert varnel.snmp_set(f"{P}.1.1.1.0", "i", "1")[0].endswith("INTEGER: 1")
        with open(late, "w") as f:
            f.write("x\r\n")
        # The delivery is still held, so nothing has been dropped yet.
        assert os.path.exists(held) and os.path.exists(late)

        relay.release.set()
        # The re-initialisation runs once the cycle has delivered and logged the mail.
        wait_until(lambda: not os.path.exists(held) and not os.path.exists(late), 30,
                   "the drop files deleted after the cycle")
        assert len(relay.mails) == 1
        assert varnel.alarms("Receiver, SendStatusInt") == [("Ops", 1)]
        assert varnel.get(f"{P}.1.1.1.0")[0].endswith("INTEGER: 1")
    finally:
        relay.release.set()
        rc = varnel.stop()
        relay.controller.stop()
    assert rc == 0, varnel.stderr()
