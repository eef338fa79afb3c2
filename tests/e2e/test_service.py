"""The service process: start and stop, the single instance, install, bad configuration."""
import os
import subprocess
import time


def test_start_and_stop_write_101_and_102(varnel):
    varnel.init(demo=True).start()
    assert varnel.alive()
    assert varnel.stop() == 0
    ids = [e[2] for e in varnel.log.entries()]
    assert ids.count(101) == 1 and ids.count(102) == 1
    assert ids.index(101) < ids.index(102)
    # Every listener's status column was reset by the stop sequence.
    assert varnel.query('SELECT Status1 FROM Event_SysLog') == [("Not Started",)]


def test_second_instance_in_the_same_directory_refuses(varnel):
    varnel.init().start()
    second = varnel.run()
    assert second.returncode == 0
    assert second.stdout.strip() == "The Varnel Service is already running."
    assert varnel.alive()
    assert varnel.stop() == 0


def test_install_and_uninstall_write_and_remove_the_unit(varnel, tmp_path):
    varnel.init()
    unit_dir = tmp_path / "units"
    unit_dir.mkdir()
    env = {"VARNEL_UNIT_DIR": str(unit_dir)}
    done = varnel.run("-install", extra_env=env)
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == "Varnel Service installed successfully."
    unit = (unit_dir / "varnel.service").read_text()
    binary = os.path.realpath(os.environ.get("VARNEL_BIN", "build-test/varnel"))
    assert f"ExecStart={binary}\n" in unit
    assert f"Environment=VARNEL_HOME={os.path.realpath(varnel.home)}\n" in unit
    assert "The service was installed." in varnel.log.texts(107)

    quiet = varnel.run("-install_noMsg", extra_env=env)
    assert quiet.returncode == 0 and quiet.stdout == ""

    done = varnel.run("-uninstall", extra_env=env)
    assert done.stdout.strip() == "Varnel Service uninstalled successfully."
    assert not (unit_dir / "varnel.service").exists()
    assert "The service was uninstalled." in varnel.log.texts(107)

    again = varnel.run("-uninstall", extra_env=env)
    assert again.returncode == 1
    assert again.stderr.strip() == "The Varnel Service failed to uninstall."


def test_command_line_errors(varnel, tmp_path):
    os.makedirs(varnel.home)
    missing = varnel.run("-install", extra_env={"VARNEL_UNIT_DIR": str(tmp_path)})
    assert missing.returncode == 1
    assert missing.stderr.strip() == "Varnel.mdb does not exits."
    assert not (tmp_path / "varnel.service").exists()

    with open(varnel.path("Varnel.mdb"), "w") as f:
        f.write("not a database" * 100)
    broken = varnel.run("-install", extra_env={"VARNEL_UNIT_DIR": str(tmp_path)})
    assert broken.returncode == 1
    assert broken.stderr.startswith("Error when accessing the Database.\n\n")
    assert "[3026]" in varnel.log.texts(106)[-1]

    other = varnel.run("-foo")
    assert other.returncode == 0
    assert other.stdout.strip() == "Invalid command option."


def test_missing_settings_row_leaves_the_service_idle(varnel):
    varnel.init()
    varnel.query("DELETE FROM Settings_General")
    varnel.start(wait=False)
    entry = varnel.log.wait_for(106)
    assert entry[3].endswith("(Module: dartSvc_State)")
    time.sleep(1.0)  # ten ticks: no cycle may run and nothing may crash
    assert varnel.alive()
    assert 101 not in [e[2] for e in varnel.log.entries()]
    assert varnel.stop() == 0
    assert varnel.log.texts(102) == [""]


def test_locked_database_at_start_is_reported(varnel):
    varnel.init()
    con = varnel.db()
    con.execute("BEGIN EXCLUSIVE")
    try:
        varnel.start(wait=False)
        entry = varnel.log.wait_for(106, timeout=30)
        assert "[3005] database is locked" in entry[3]
    finally:
        con.rollback()
        con.close()
    assert varnel.alive()
    assert varnel.stop() == 0


def test_admin_init_refuses_to_overwrite(varnel):
    varnel.init(demo=True)
    varnel.set("Settings_General", DebugMode="Debug All")
    again = subprocess.run([os.environ.get("VARNEL_ADMIN_BIN", "build-test/varnel-admin"),
                            "init", varnel.home], capture_output=True, text=True)
    assert again.returncode == 1
    assert "already exists" in again.stderr
    assert varnel.query("SELECT DebugMode FROM Settings_General") == [("Debug All",)]
    for sub in ("Debug", "Backup", "Web", "ExecProg", "ports", "mibfiles/defaultFilter"):
        assert os.path.isdir(varnel.path(sub)), sub


def test_stop_during_the_start_sequence_finishes_the_start_first(varnel):
    varnel.init(demo=True)
    varnel.start(wait=False)
    time.sleep(0.2)  # inside the listeners' start waits
    assert varnel.stop() == 0
    ids = [e[2] for e in varnel.log.entries()]
    assert ids == [101, 102], varnel.log.entries()
