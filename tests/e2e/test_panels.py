"""Alarm panels on the serial input port, played by the pty panel simulator."""
import pytest

from conftest import P, wait_rows_of, wait_until
from panel_simulator import PanelSimulator, cerberus_record, nms10_message, tecoma_line

PANELS = {
    "Cerberus CS1140": (
        cerberus_record("HUSB-2", "BRANDLARM RUM 214") +
        cerberus_record("PUMPSTATIONEN", "FEL LINJE 3", zone=2) +
        # No space within 15 characters of the node: the node is cut at 15.
        cerberus_record("KONTROLLRUMMET-NORD", "SABOTAGE", zone=9),
        [("1 - Critical", "HUSB-2", "BRANDLARM RUM 214"),
         ("1 - Critical", "PUMPSTATIONEN", "FEL LINJE 3"),
         ("1 - Critical", "KONTROLLRUMMET-", "NORD SABOTAGE")]),
    "Nokia NMS/10": (
        nms10_message("HEL-SW-01", "HEL-SW-01 LINK DOWN 2M-PORT 3", "Major") +
        nms10_message("NMF001", "ESP-BSC-2, CLOCK SOURCE LOST", "Critical", number=4712) +
        # A priority word outside the table counts as a warning.
        nms10_message("TRE-MUX-7", "FAN UNIT DEGRADED", "Indeterminate", number=4713),
        [("2 - Major", "HEL-SW-01", "LINK DOWN 2M-PORT 3,Major"),
         ("1 - Critical", "ESP-BSC-2", "CLOCK SOURCE LOST,Critical"),
         ("4 - Warning", "TRE-MUX-7", "FAN UNIT DEGRADED,Indeterminate")]),
    "Tecoma": (
        tecoma_line("INBROTT  DÖRR KÄLLARE") + tecoma_line("") +
        tecoma_line("STRÖMAVBROTT   LÅGSPÄNNING", loop=4) +
        tecoma_line("INBROTT  DÖRR KÄLLARE"),  # repeated in the same read: one event
        [("5 - Normal", "Tecoma", "INBROTT DÖRR KÄLLARE"),
         ("5 - Normal", "Tecoma", "STRÖMAVBROTT LÅGSPÄNNING")]),
}


def panel(varnel, system, port=3):
    varnel.init()
    varnel.set("Event_CommPort", Enabled=1, CommPort=port, Settings="9600,n,8,1",
               Handshaking="RTS/CTS", System=system)
    return PanelSimulator(varnel.path(f"ports/COM{port}"))


def status(varnel):
    return varnel.query("SELECT Status FROM Event_CommPort")[0][0]


@pytest.mark.parametrize("system", sorted(PANELS))
def test_recorded_panel_output_becomes_its_events(varnel, system):
    output, expected = PANELS[system]
    with panel(varnel, system) as sim:
        varnel.start()
        assert status(varnel).endswith("\r\nComm Port Opened\r\nCOM3\r\n9600,n,8,1\r\nRTS/CTS")
        sim.write(output)
        rows = wait_rows_of(lambda: varnel.events("Priority, NodeName, Message, EventSource"),
                            len(expected))
        assert rows == [e + ("Comm Port",) for e in expected]
        assert varnel.stop() == 0
    assert status(varnel) == "Not Opened"


def test_nms10_alarm_cleared_in_the_same_read_gives_no_event_but_in_a_later_cycle_does(varnel):
    raised = nms10_message("OUL-RTR-3", "OUL-RTR-3 LOSS OF SIGNAL", "Minor")
    cleared = nms10_message("OUL-RTR-3", "OUL-RTR-3 LOSS OF SIGNAL", "Minor", cleared=True)
    other = nms10_message("KEM-SW-9", "POWER SUPPLY B FAILED", "Critical")
    with panel(varnel, "Nokia NMS/10") as sim:
        varnel.start()
        sim.write(raised + cleared + other)
        assert wait_rows_of(varnel.events, 1) == [("1 - Critical", "KEM-SW-9",
                                                   "POWER SUPPLY B FAILED,Critical")]
        sim.write(raised)
        wait_rows_of(varnel.events, 2)
        sim.write(cleared)
        assert wait_rows_of(varnel.events, 3)[1:] == [
            ("3 - Minor", "OUL-RTR-3", "LOSS OF SIGNAL,Minor"),
            ("5 - Normal", "OUL-RTR-3", "LOSS OF SIGNAL,Cleared")]
        assert varnel.stop() == 0


def test_tecoma_output_below_86_characters_waits_for_the_rest(varnel):
    short = "26-06-26 10:15:03 L01 LARM ENTRE\r\n".encode("cp437")
    with panel(varnel, "Tecoma") as sim:
        varnel.set("Settings_General", DebugMode="Event Sources")
        varnel.snmp_ports()
        varnel.start()
        sim.write(short)
        for _ in range(2):  # the next cycle reads it, the one after still waits
            varnel.cycle_done()
        assert "\nBuffert: 34 chr\n" in varnel.read("Debug/Event_CommPort.txt")
        assert varnel.events() == []
        sim.write(tecoma_line("LARM ENTRE ÅTERSTÄLLT", loop=1))
        assert wait_rows_of(lambda: varnel.events("NodeName, Message"), 2) == [
            ("Tecoma", "LARM ENTRE"), ("Tecoma", "LARM ENTRE ÅTERSTÄLLT")]
        assert varnel.stop() == 0


def test_port_that_vanishes_is_reported_lost_and_is_read_again_when_it_comes_back(varnel):
    with panel(varnel, "Tecoma") as sim:
        varnel.start()
        sim.write(tecoma_line("SABOTAGE CENTRALAPPARAT"))
        wait_rows_of(varnel.events, 1)

        sim.vanish()
        wait_until(lambda: "\r\nComm Port Lost\r\nCOM3\r\n" in status(varnel),
                   what=lambda: repr(status(varnel)))
        assert any("(Module: WriteCommPortEventsToEventList)" in e for e in varnel.log(106))

        sim.come_back()
        wait_until(lambda: status(varnel).endswith("Comm Port Opened\r\nCOM3\r\n9600,n,8,1\r\n"
                                                   "RTS/CTS"), what=lambda: repr(status(varnel)))
        assert "Comm Port Reopened" in varnel.log(107)
        sim.write(tecoma_line("SABOTAGE ÅTGÄRDAD"))
        assert wait_rows_of(lambda: varnel.events("Message"), 2)[1] == ("SABOTAGE ÅTGÄRDAD",)
        assert varnel.alive() and varnel.stop() == 0


def test_activation_drops_what_the_panel_and_a_trap_sent_while_the_service_was_paused(varnel):
    state = f"{P}.1.1.1.0"
    with panel(varnel, "Tecoma") as sim:
        varnel.snmp_ports()
        varnel.start()
        varnel.snmp_set(state, "i", "2")
        wait_until(lambda: varnel.get(state)[0].endswith("INTEGER: 2"), what="the pause")
        sim.write(tecoma_line("LARM UNDER PAUS"))
        varnel.trap("", f"{P}.2.0.2", "1.3.6.1.2.1.1.5.0", "s", "trap under paus")
        varnel.snmp_set(state, "i", "1")
        wait_until(lambda: varnel.get(state)[0].endswith("INTEGER: 1"), what="the activation")
        sim.write(tecoma_line("LARM EFTER PAUS"))
        assert wait_rows_of(lambda: varnel.events("Message"), 1) == [("LARM EFTER PAUS",)]
        assert varnel.stop() == 0
