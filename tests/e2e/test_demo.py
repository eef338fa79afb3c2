"""The demo setup delivers visibly: an event reaches alarms.log through its program receiver.
(Its listeners move to free ports, away from other runs on this machine.)"""
import os
import subprocess

from conftest import P, needs, wait_until


@needs("logger", "snmptrap", "snmpget")
def test_demo_events_reach_alarms_log(varnel):
    varnel.init(demo=True).snmp_ports()
    port = varnel.syslog()
    varnel.start()

    def alarm_lines(n):
        def read():
            if os.path.exists(varnel.path("alarms.log")):
                with open(varnel.path("alarms.log")) as f:
                    lines = f.read().splitlines()
                return lines if len(lines) >= n else None
        return wait_until(read, 20, f"{n} lines in alarms.log")

    subprocess.run(["logger", "-n", "127.0.0.1", "-P", str(port), "link down on core1 port 3"],
                   check=True, timeout=10)
    line = alarm_lines(1)[0]
    assert "127.0.0.1, 5 - Normal, " in line and line.endswith(": link down on core1 port 3")
    varnel.trap("", "1.3.6.1.6.3.1.1.5.3", "1.3.6.1.2.1.2.2.1.1.3", "i", "3")
    assert "1.3.6.1.6.3.1.1.5.3" in alarm_lines(2)[1]
    assert f".{P}.1.1.4.0 = STRING: " in varnel.get(f"{P}.1.1.4.0")[0]
    assert varnel.stop() == 0
