"""The service process, its command line, and the administration program's init."""
import os
import subprocess
import time

from conftest import ADMIN_BIN, VARNEL_BIN, needs, wait_until


@needs("logger")
def test_start_stop_the_single_instance_and_the_demo_delivering(varnel):
    # The demo's listeners move to free ports, away from other runs on this machine.
    port = varnel.init(demo=True).snmp_ports().syslog()
    varnel.start()
    second = varnel.run()
    assert (second.returncode, second.stdout.strip()) == (
        0, "The Varnel Service is already running.")
    subprocess.run(["logger", "-n", "127.0.0.1", "-P", str(port), "link down on core1"],
                   check=True, timeout=10)
    line = wait_until(lambda: varnel.read("alarms.log"), what="a line in alarms.log")
    assert "127.0.0.1, 5 - Normal, " in line and line.endswith(": link down on core1\n")
    assert varnel.alive()
    assert varnel.stop() == 0
    assert varnel.log() == [101, 102]


def test_stop_during_the_start_sequence_finishes_the_start_first(varnel):
    varnel.init(demo=True).snmp_ports().syslog()
    varnel.start(wait=False)
    time.sleep(0.2)  # inside the listeners' start waits
    assert varnel.stop() == 0
    assert varnel.log() == [101, 102]


def test_command_line_errors_then_install_and_uninstall(varnel, tmp_path):
    env = {"VARNEL_UNIT_DIR": str(tmp_path)}
    unit = tmp_path / "varnel.service"
    os.makedirs(varnel.home)
    missing = varnel.run("-install", extra_env=env)
    assert (missing.returncode, missing.stderr.strip()) == (1, "Varnel.mdb does not exits.")
    with open(varnel.path("Varnel.mdb"), "w") as f:
        f.write("not a database" * 100)
    broken = varnel.run("-install", extra_env=env)
    assert broken.returncode == 1
    assert broken.stderr.startswith("Error when accessing the Database.\n\n")
    assert "[3026]" in varnel.log(106)[-1]
    assert not unit.exists()
    other = varnel.run("-foo")
    assert (other.returncode, other.stdout.strip()) == (0, "Invalid command option.")

    os.remove(varnel.path("Varnel.mdb"))
    done = varnel.init().run("-install", extra_env=env)
    assert (done.returncode, done.stdout.strip()) == (0, "Varnel Service installed successfully.")
    text = unit.read_text()
    assert f"ExecStart={os.path.realpath(VARNEL_BIN)}\n" in text
    assert f"Environment=VARNEL_HOME={os.path.realpath(varnel.home)}\n" in text
    quiet = varnel.run("-install_noMsg", extra_env=env)
    assert (quiet.returncode, quiet.stdout) == (0, "")

    done = varnel.run("-uninstall", extra_env=env)
    assert done.stdout.strip() == "Varnel Service uninstalled successfully."
    assert not unit.exists()
    again = varnel.run("-uninstall", extra_env=env)
    assert (again.returncode, again.stderr.strip()) == (
        1, "The Varnel Service failed to uninstall.")
    assert varnel.log(107) == ["The service was installed."] * 2 + [
        "The service was uninstalled."]


def test_admin_init_lays_out_the_directory_and_refuses_to_overwrite(varnel):
    varnel.init(demo=True)
    varnel.set("Settings_General", DebugMode="Debug All")
    again = subprocess.run([ADMIN_BIN, "init", varnel.home], capture_output=True, text=True)
    assert again.returncode == 1 and "already exists" in again.stderr
    assert varnel.query("SELECT DebugMode FROM Settings_General") == [("Debug All",)]
    for sub in ("Debug", "Backup", "Web", "ExecProg", "ports", "mibfiles/defaultFilter"):
        assert os.path.isdir(varnel.path(sub)), sub
