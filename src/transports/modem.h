// Serial port and modem primitives: the modem parameter record, the communication delays,
// port handling, sending one command line and waiting for a reply, all traced to
// "Modem_Communication.txt". Every wait is made of Delay slices, so listeners keep running.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "service/varnel.h"

namespace varnel {

// Seconds a terminal gets to answer a command.
inline constexpr int kCommandTimeout = 4;

// The columns of Settings_Modem.
struct ModemParameters {
  std::int16_t CommPort = 0;
  std::string DialPrefix;
  std::string ModemCommDelays;
  std::int16_t TimeOut = 0;
  std::int16_t Retries = 0;
  std::string Originator;
  std::string ModemInitString;
  std::string ModemSpeed;
  std::string ModemSettings;
};

// Reads the first row of Settings_Modem and sets ShortCommDelay and LongCommDelay from
// ModemCommDelays ("Long", "Normal", "Short"; any other word leaves them).
void GetModemParameters(Varnel& ctx, ModemParameters& out);

// The modem port, made on first use as the device of the port number.
SerialPort& ModemPort(Varnel& ctx);

void PortSettings(Varnel& ctx, const std::string& speed, const std::string& settings, int port);
void PortOpen(Varnel& ctx, bool& opened);
// Switches flow control off and closes the port when it is open.
void PortClose(Varnel& ctx);
void SetRTS(Varnel& ctx, bool value);
void SetDTR(Varnel& ctx, bool value);
// The status text of a session whose port would not open.
std::string PortOpenFailure(int port);
// Runs one modem session under Guarded (procedure names it in the error record). body sets
// started once it takes the line; from then on every way out, a run-time error included,
// closes the port and drops DTR, which releases the line. Returns what Guarded returns.
bool RunModemSession(Varnel& ctx, const std::string& procedure,
                     const std::function<void(bool& started)>& body);
// The opening of every modem session: DTR on, any earlier port closed, the line set up and the
// port opened. Returns whether it opened.
bool OpenModemPort(Varnel& ctx, const std::string& speed, const std::string& settings, int port);

// Discards both buffers and writes text and CR (CtrlZ: SUB; Rakel: CR LF).
void SendATtoModem(Varnel& ctx, const std::string& text);
void SendATtoModem_CtrlZ(Varnel& ctx, const std::string& text);
void SendATtoModem_Rakel(Varnel& ctx, const std::string& text);

// Collects input until it contains expected (case-sensitive) or timeout seconds pass; on a
// time-out a CR is written to end whatever the terminal waits for.
void WaitForResponse(Varnel& ctx, const std::string& expected, int timeout, bool& ok);
// As WaitForResponse; signal := the number before the "," of a +CSQ reply, or "--".
void WaitForResponseSS(Varnel& ctx, const std::string& expected, int timeout, bool& ok,
                       std::string& signal);
// As WaitForResponse; response := everything collected when found, else empty.
void WaitForResponseMGL(Varnel& ctx, const std::string& expected, int timeout, bool& ok,
                        std::string& response);
// After a dial command: "OK" once carrier detect is high, else a failure text.
void WaitForDialResponse(Varnel& ctx, int timeout, std::string& result);

// Control codes 0..31 as their names in angle brackets ("<CR>"); for traces.
std::string TranslateControlCodes(const std::string& text);

// Trace lines of a modem session: the start banner with its time stamp, and the block of
// modem parameters that closes a session header.
std::vector<std::string> SessionStartLines(const Varnel& ctx);
std::vector<std::string> ModemParameterLines(const ModemParameters& mp);
// Appends lines to the modem trace when the debug mode asks for it.
void ModemTrace(Varnel& ctx, const std::vector<std::string>& lines);

// Polls the port every slice, appending its input to buffer (which keeps the newest part
// of a flood), until done(buffer) holds or timeout seconds pass. True when done held; done
// may take from buffer what it has read.
bool CollectInput(Varnel& ctx, int timeout, std::string& buffer,
                  const std::function<bool(std::string&)>& done);
// Writes wire bytes as they are (a protocol block, no terminator added) and traces
// "    Sending:  " & shown.
void WriteToModem(Varnel& ctx, const std::string& bytes, const std::string& shown);
// The trace line "    Response: " & the printable form of what was received.
void TraceResponse(Varnel& ctx, const std::string& label, const std::string& received);

// Sends a command and waits for "OK" CR up to attempts times; true when one was answered.
bool SendWithRetries(Varnel& ctx, const std::string& command, int timeout, int attempts);

}  // namespace varnel
