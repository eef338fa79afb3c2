"""An agent request that arrives while a cycle is delivering takes effect when the cycle ends:
the Set is answered at once, the cycle finishes its delivery, then the activation drops the
files that arrived meanwhile."""
import os

from conftest import DUTY, P, needs, wait_until


@needs("snmpget", "snmpset")
def test_resume_during_a_delivery_waits_for_the_cycle_to_end(varnel, relay):
    held_relay = relay(hold=True)
    varnel.init().snmp_ports()
    varnel.add_mail_server("Relay", held_relay.port, TimeOut=60)
    varnel.add_row("Recv_Mail_SMTP", Name="Ops", Enabled=1, MailAddress="ops@example.org",
                   MailServer1="Relay", **DUTY)
    varnel.add_group("all", ("Ops", "MailSMTP"))
    held, late = varnel.path("SmsCmd.log"), varnel.path("SnmpMess.log")
    varnel.start()
    varnel.drop("2026-01-05 10:00:00\t2 - Major\tsw1\tport down")
    assert held_relay.in_data.wait(30), "the cycle never reached the relay"
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

    held_relay.release.set()
    # The re-initialisation runs once the cycle has delivered and logged the mail.
    wait_until(lambda: not os.path.exists(held) and not os.path.exists(late), 30,
               "the drop files deleted after the cycle")
    assert len(held_relay.mails) == 1
    assert varnel.alarms("Receiver, SendStatusInt") == [("Ops", 1)]
    assert varnel.get(f"{P}.1.1.1.0")[0].endswith("INTEGER: 1")
    assert varnel.stop() == 0, varnel.stderr()
