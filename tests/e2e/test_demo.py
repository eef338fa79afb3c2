"""The demo setup delivers visibly: the README's commands against its fixed ports put lines
into alarms.log through the program receiver."""
import os
import subprocess

from conftest import P, TOOL_ENV, needs, wait_until


@needs("logger", "snmptrap", "snmpget")
def test_try_it_commands_reach_alarms_log(varnel):
    varnel.init(demo=True)
    varnel.start()

    def alarm_lines(n):
        def read():
            if not os.path.exists(varnel.path("alarms.log")):
                return None
            with open(varnel.path("alarms.log")) as f:
                lines = f.read().splitlines()
            return lines if len(lines) >= n else None
        return wait_until(read, 20, f"{n} lines in alarms.log")

    subprocess.run(["logger", "-n", "127.0.0.1", "-P", "5514", "-d", "link down on core1 port 3"],
                   check=True, timeout=10)
    line = alarm_lines(1)[0]
    assert "127.0.0.1, 5 - Normal, " in line and line.endswith(": link down on core1 port 3")
    subprocess.run(["snmptrap", "-v", "2c", "-c", "public", "127.0.0.1:1162", "",
                    "1.3.6.1.6.3.1.1.5.3", "1.3.6.1.2.1.2.2.1.1.3", "i", "3"],
                   env=TOOL_ENV, check=True, timeout=10)
    assert "1.3.6.1.6.3.1.1.5.3" in alarm_lines(2)[1]
    status = subprocess.run(["snmpget", "-v", "2c", "-c", "public", "-On", "127.0.0.1:1161",
                             f"{P}.1.1.4.0"], env=TOOL_ENV, capture_output=True, text=True,
                            timeout=10)
    assert f".{P}.1.1.4.0 = STRING: " in status.stdout  # what the service is doing
    assert varnel.stop() == 0
