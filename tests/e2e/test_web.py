"""The log pages uploaded to a real pure-ftpd on loopback, and the login failures."""
import os
import random
import shutil
import socket
import subprocess
import tempfile
import types

import pytest

from conftest import DUTY, SBIN_PATH, free_port, program, wait_until

PAGES = ("default.htm", "event.htm", "alarm.htm", "action.htm")


@pytest.fixture
def ftp_server():
    """pure-ftpd on a free loopback port with one virtual user whose home holds pages/."""
    if not (shutil.which("pure-ftpd", path=SBIN_PATH) and shutil.which("pure-pw")):
        pytest.skip("pure-ftpd not installed")
    # Under /tmp itself: the server works in the home as an unprivileged user.
    root = tempfile.mkdtemp(prefix="varnel-ftp-")
    os.chmod(root, 0o755)
    home = os.path.join(root, "home")
    os.makedirs(os.path.join(home, "pages"))
    for d in (home, os.path.join(home, "pages")):
        os.chown(d, 65534, 65534)
    user, password, pdb = "peer", "peerpw", os.path.join(root, "users.pdb")
    subprocess.run(["pure-pw", "useradd", user, "-u", "65534", "-g", "65534", "-d", home,
                    "-f", os.path.join(root, "users.passwd"), "-F", pdb, "-m"],
                   input=f"{password}\n{password}\n", text=True, check=True,
                   capture_output=True)
    port, low = free_port(socket.SOCK_STREAM), random.randrange(40000, 60000, 20)
    proc = subprocess.Popen([shutil.which("pure-ftpd", path=SBIN_PATH), "-S", f"127.0.0.1,{port}",
                             "-l", f"puredb:{pdb}", "-E", "-H", "-p", f"{low}:{low + 19}",
                             "-P", "127.0.0.1"], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)

    def listening():
        with socket.socket() as s:
            return s.connect_ex(("127.0.0.1", port)) == 0
    wait_until(listening, 10, "pure-ftpd to listen")
    uploaded = lambda name: os.path.join(home, "pages", name)
    yield types.SimpleNamespace(port=port, user=user, password=password, uploaded=uploaded)
    proc.terminate()
    proc.wait()
    shutil.rmtree(root)


def alarm_once(varnel):
    """One Syslog event delivered to a program receiver: its alarm log row changes the logs."""
    varnel.add_group("web", ("RunProg web", "PopupNetSend"))
    varnel.add_row("Recv_Popup_NETSEND", Name="RunProg web", Enabled=1, WinAddress="ok.sh",
                   **DUTY)
    program(varnel, "ok.sh", "exit 0\n")
    port = varnel.syslog()
    varnel.start()
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.sendto(b"<34>Oct 11 22:14:15 core1 <script>alert(1)</script>", ("127.0.0.1", port))


def upload_to(varnel, ftp, **columns):
    varnel.set("LogFiles_WebServer", **{**dict(
        TransferLogFiles=1, FtpServer="127.0.0.1", FtpPort=ftp.port, UserName=ftp.user,
        Password2=ftp.password, PassiveTransfer=1, TransferMode="Binary", TimeOut=10, Retries=2,
        RemoteDir="pages"), **columns})


@pytest.mark.parametrize("passive, mode, command", [(1, "Binary", "EPSV"), (0, "Binary", "EPRT"),
                                                    (1, "binary", "TYPE A")])
def test_pages_are_uploaded(varnel, ftp_server, passive, mode, command):
    varnel.init()
    upload_to(varnel, ftp_server, PassiveTransfer=passive, TransferMode=mode)
    varnel.set("Settings_General", DebugMode="Ftp Communication")
    alarm_once(varnel)
    wait_until(lambda: " <--- 221" in varnel.read("Debug/FtpPut.txt"), 30, "the logout")
    varnel.stop()
    for page in PAGES:
        with open(ftp_server.uploaded(page), "rb") as up, open(varnel.path("Web/" + page),
                                                                  "rb") as local:
            # An ASCII transfer stores the lines with the server's own line ends.
            sent = local.read() if mode == "Binary" else local.read().replace(b"\r\n", b"\n")
            assert up.read() == sent, page
    trace = varnel.read("Debug/FtpPut.txt")
    assert f" ---> USER {ftp_server.user}" in trace and " ---> PASS ****" in trace
    assert ftp_server.password not in trace
    assert f" ---> {command}" in trace and " ---> QUIT" in trace
    assert varnel.log(106) == []


@pytest.mark.parametrize("case, columns, entry", [
    # pure-ftpd holds a refused login back for a few seconds, longer on a loaded machine.
    ("wrong password", dict(Password2="wrong", TimeOut=60),
     "[11101] Login Failed: 530 Login authentication failed (Module: FtpDoLogin)"),
    ("refused", dict(FtpPort="refused"),
     "[10061] Login Failed: Connection Refused (Module: FtpDoLogin)"),
    ("missing host", dict(FtpServer="ftp.invalid"),
     "[11001] Login Failed: Host not found. (Module: FtpDoLogin)"),
    ("no server", dict(FtpServer=""),
     "[11101] Login Failed: Missing connection information. (Module: FtpDoLogin)"),
    ("no attempt", dict(Retries=0), None),
])
def test_failed_logins_upload_nothing(varnel, ftp_server, case, columns, entry):
    if columns.get("FtpPort") == "refused":
        columns["FtpPort"] = free_port(socket.SOCK_STREAM)
    varnel.init().snmp_ports()
    upload_to(varnel, ftp_server, **columns)
    alarm_once(varnel)
    if entry:
        # Retries 2: two attempts, each reported.
        wait_until(lambda: len(varnel.log(106)) >= 2, 150, lambda: f"two entries: {varnel.log()}")
    else:
        wait_until(lambda: os.path.exists(varnel.path("Web/default.htm")), 30, "the pages")
        varnel.cycle_done()
    varnel.stop()
    assert varnel.log(106) == ([entry] * 2 if entry else [])
    assert not any(os.path.exists(ftp_server.uploaded(p)) for p in PAGES)
