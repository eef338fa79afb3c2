"""A standby system pauses when nobody polls it and is woken by the next Get."""

from snmp_helpers import P, Varnel, wait_for

DROP_FILES = ["Event.log", "SmtpMess.log", "SnmpMess.log", "SmsCmd.log", "Hold_Queue.log",
              "ReqAck.log"]


def test_standby_pauses_and_the_next_get_activates_it(tmp_path):
    v = Varnel(tmp_path / "home", check_interval=5)
    (v.home / "Varnel.ini").write_text("PRIMARYSYSTEM=false\n")
    v.set("Settings_SNMP_Agent", PollMe=1, PollMeTimeout=30)  # six ticks of 100 ms
    v.add_row("Receiver_Test", Name="left over")
    try:
        v.start()
        # Nobody polls: after the watchdog runs out the standby pauses. A trap that arrives
        # then is queued but never becomes an event.
        wait_for(lambda: False, 2.5)
        v.trap("", f"{P}.2.0.2", "1.3.6.1.2.1.1.5.0", "s", "while paused")
        for name in DROP_FILES:
            (v.home / name).write_text("x\r\n")
        wait_for(lambda: False, 1.0)
        assert v.events() == []
        assert all((v.home / name).exists() for name in DROP_FILES)

        # The first Get activates it: running, countdown restarted, drop files deleted.
        out = v.snmp("snmpget", f"{P}.1.1.1.0", f"{P}.1.1.2.0").stdout.splitlines()
        assert out == [f".{P}.1.1.1.0 = INTEGER: 1", f".{P}.1.1.2.0 = INTEGER: 5"]
        assert not any((v.home / name).exists() for name in DROP_FILES)
        assert v.query("SELECT COUNT(*) FROM Receiver_Test") == [(0,)]

        # Active again: a new trap becomes an event; the one from the pause was dropped.
        v.trap("", f"{P}.2.0.3", "1.3.6.1.2.1.1.5.0", "s", "after wake-up")
        assert wait_for(lambda: v.events(), 5)
        messages = [e[2] for e in v.events()]
        assert any("after wake-up" in m for m in messages)
        assert not any("while paused" in m for m in messages)
    finally:
        rc, stderr = v.stop()
        assert rc == 0, stderr
