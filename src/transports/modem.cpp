#include "transports/modem.h"

#include <algorithm>

#include "platform/database.h"
#include "platform/event_loop.h"
#include "platform/posix_serial_port.h"
#include "platform/text.h"
#include "service/errors.h"
#include "service/trace.h"
#include "transports/ansi_text.h"

namespace varnel {
namespace {

// A wait keeps at most this much of what it collected (the newest part), so a terminal
// that floods the line cannot make it grow without bound.
constexpr std::size_t kWaitBufferLimit = 256 * 1024;

// The pauses in milliseconds after a command (ShortCommDelay) and between the steps of a
// dialogue (LongCommDelay) for each word of ModemCommDelays.
struct CommDelays {
  const char* word;
  std::int16_t shortMs;
  std::int16_t longMs;
};
constexpr CommDelays kCommDelays[] = {{"Long", 200, 1000}, {"Normal", 100, 500}, {"Short", 20, 20}};

// The shortest polling slice of a wait, so that a wait never spins without letting the
// listeners run.
constexpr int kMinPollSliceMs = 20;

std::string Stamped(const Varnel& ctx, const std::string& text) {
  return TraceTimestamp(ctx) + text;
}

// The error variant of a primitive's trace line; a failing trace write must not hide the
// error that is being reported.
void ErrorTrace(Varnel& ctx, const std::vector<std::string>& lines) {
  try {
    ModemTrace(ctx, lines);
  } catch (const std::exception&) {
  }
}

std::int64_t NowSeconds(const Varnel& ctx) {
  return static_cast<std::int64_t>(ctx.clock.TickMs() / 1000);
}

// Polling slice of the waits: ShortCommDelay, but at least the shortest slice.
int PollSlice(const Varnel& ctx) { return std::max<int>(ctx.gsm.ShortCommDelay, kMinPollSliceMs); }

void Append(std::string& buffer, const std::string& data) {
  buffer += data;
  if (buffer.size() > kWaitBufferLimit) buffer.erase(0, buffer.size() - kWaitBufferLimit);
}

std::string ResponseLine(const Varnel& ctx, const std::string& buffer) {
  return Stamped(ctx, "    Response: " + FromWire(TranslateControlCodes(buffer)));
}

// Steps 1 to 4 of the waits. Returns true when expected was seen.
bool Collect(Varnel& ctx, const std::string& expected, int timeout, std::string& buffer) {
  SerialPort& port = ModemPort(ctx);
  buffer.clear();
  std::int64_t deadline = NowSeconds(ctx) + timeout;
  bool found = false;
  for (;;) {
    Delay(ctx.io, PollSlice(ctx));
    if (port.InputCount() != 0) {
      Append(buffer, port.ReadAll());
      if (buffer.find(expected) != std::string::npos) {
        found = true;
        break;
      }
    }
    if (NowSeconds(ctx) >= deadline) break;
  }
  if (found) {
    ModemTrace(ctx, {ResponseLine(ctx, buffer)});
    Delay(ctx.io, ctx.gsm.ShortCommDelay);
  } else {
    ModemTrace(ctx, {Stamped(ctx, "    Time Out..."), ResponseLine(ctx, buffer)});
    port.Write("\r");
    Delay(ctx.io, 2 * ctx.gsm.ShortCommDelay);
    Delay(ctx.io, ctx.gsm.ShortCommDelay);
  }
  return found;
}

void Send(Varnel& ctx, const char* procedure, const std::string& text,
          const std::string& terminator, const std::string& shown) {
  bool done = Guarded(ctx, procedure, [&] {
    SerialPort& port = ModemPort(ctx);
    port.DiscardOutput();
    port.DiscardInput();
    port.Write(ToAnsiBytes(text) + terminator);
    Delay(ctx.io, 2 * ctx.gsm.ShortCommDelay);
    ModemTrace(ctx, {"", Stamped(ctx, "    Sending:  " + text + shown + " --> OK.")});
  });
  if (!done) ErrorTrace(ctx, {"", Stamped(ctx, "    Sending:  " + text + shown + " --> Error.")});
}

void SetLine(Varnel& ctx, const char* procedure, const char* name, bool value, bool rts) {
  std::string line = std::string("    Set ") + name + " to " + (value ? "True" : "False");
  bool done = Guarded(ctx, procedure, [&] {
    SerialPort& port = ModemPort(ctx);
    bool current = rts ? port.Rts() : port.Dtr();
    if (value != current) rts ? port.SetRts(value) : port.SetDtr(value);
    Delay(ctx.io, ctx.gsm.ShortCommDelay);
    ModemTrace(ctx, {Stamped(ctx, line + " --> OK.")});
  });
  if (!done) ErrorTrace(ctx, {Stamped(ctx, line + " --> Error.")});
}

}  // namespace

void ModemTrace(Varnel& ctx, const std::vector<std::string>& lines) {
  WriteTrace(ctx, TraceCategory::ModemCommunication, trace::kModem, lines);
}

void GetModemParameters(Varnel& ctx, ModemParameters& out) {
  Guarded(ctx, "GetModemParameters", [&] {
    Database db = OpenDatabase(ctx);
    Table t = db.Open("Settings_Modem");
    out.CommPort = t.Int16("CommPort");
    out.DialPrefix = t.Text("DialPrefix");
    out.ModemCommDelays = t.Text("ModemCommDelays");
    out.TimeOut = t.Int16("TimeOut");
    out.Retries = t.Int16("Retries");
    out.Originator = t.Text("Originator");
    out.ModemInitString = t.Text("ModemInitString");
    out.ModemSpeed = t.Text("ModemSpeed");
    out.ModemSettings = t.Text("ModemSettings");
    for (const CommDelays& d : kCommDelays) {
      if (out.ModemCommDelays != d.word) continue;
      ctx.gsm.ShortCommDelay = d.shortMs;
      ctx.gsm.LongCommDelay = d.longMs;
    }
  });
}

SerialPort& ModemPort(Varnel& ctx) {
  if (!ctx.gsm.commPortOut)
    ctx.gsm.commPortOut = std::make_unique<PosixSerialPort>(ctx.io, ctx.ProgramDir);
  return *ctx.gsm.commPortOut;
}

void PortSettings(Varnel& ctx, const std::string& speed, const std::string& settings, int port) {
  std::string line = "    PortSettings: " + speed + "," + settings;
  bool done = Guarded(ctx, "PortSettings", [&] {
    SerialPort& p = ModemPort(ctx);
    p.SetSettings(speed + "," + settings);
    Delay(ctx.io, ctx.gsm.ShortCommDelay);
    p.SetPortNumber(port);
    Delay(ctx.io, ctx.gsm.ShortCommDelay);
    ModemTrace(ctx, {Stamped(ctx, line + " --> OK.")});
  });
  if (!done) ErrorTrace(ctx, {Stamped(ctx, line + " --> Error.")});
}

void PortOpen(Varnel& ctx, bool& opened) {
  opened = false;
  bool done = Guarded(ctx, "PortOpen", [&] {
    SerialPort& p = ModemPort(ctx);
    if (!p.IsOpen()) p.Open();
    Delay(ctx.io, ctx.gsm.ShortCommDelay);
    opened = true;
    ModemTrace(ctx, {Stamped(ctx, "    Open Port --> OK.")});
  });
  if (!done) {
    opened = false;
    ErrorTrace(ctx, {Stamped(ctx, "    Open Port --> Error.")});
  }
}

void PortClose(Varnel& ctx) {
  bool done = Guarded(ctx, "PortClose", [&] {
    SerialPort& p = ModemPort(ctx);
    try {
      p.SetHandshaking(kNoHandshaking);
    } catch (const std::exception&) {
      // A device that has gone takes no settings. The port is closed all the same, so the
      // next session opens the device afresh instead of writing to the one that is gone.
      p.Close();
      throw;
    }
    Delay(ctx.io, ctx.gsm.ShortCommDelay);
    if (p.IsOpen()) {
      p.Close();
      Delay(ctx.io, ctx.gsm.ShortCommDelay);
    }
    ModemTrace(ctx, {Stamped(ctx, "    Close Port --> OK.")});
  });
  if (!done) ErrorTrace(ctx, {Stamped(ctx, "    Close Port --> Error.")});
}

void SetRTS(Varnel& ctx, bool value) { SetLine(ctx, "SetRTS", "RTS", value, true); }
void SetDTR(Varnel& ctx, bool value) { SetLine(ctx, "SetDTR", "DTR", value, false); }

void SendATtoModem(Varnel& ctx, const std::string& text) {
  Send(ctx, "SendATtoModem", text, "\r", "<CR>");
}
void SendATtoModem_CtrlZ(Varnel& ctx, const std::string& text) {
  Send(ctx, "SendATtoModem_CtrlZ", text, "\x1A", "<SUB>");
}
void SendATtoModem_Rakel(Varnel& ctx, const std::string& text) {
  Send(ctx, "SendATtoModem_Rakel", text, "\r\n", "<CR><LF>");
}

void WaitForResponse(Varnel& ctx, const std::string& expected, int timeout, bool& ok) {
  ok = false;
  Guarded(ctx, "WaitForResponse", [&] {
    std::string buffer;
    ok = Collect(ctx, expected, timeout, buffer);
  });
}

void WaitForResponseSS(Varnel& ctx, const std::string& expected, int timeout, bool& ok,
                       std::string& signal) {
  ok = false;
  signal = "--";
  Guarded(ctx, "WaitForResponseSS", [&] {
    std::string buffer;
    ok = Collect(ctx, expected, timeout, buffer);
    if (!ok) return;
    std::size_t p = buffer.find(':');
    if (p == std::string::npos || p == 0) return;
    std::string rest = Trim(buffer.substr(p + 1));
    std::size_t q = rest.find(',');
    if (q != std::string::npos && q > 0) signal = FromWire(rest.substr(0, q));
  });
}

void WaitForResponseMGL(Varnel& ctx, const std::string& expected, int timeout, bool& ok,
                        std::string& response) {
  ok = false;
  response.clear();
  Guarded(ctx, "WaitForResponseMGL", [&] {
    std::string buffer;
    ok = Collect(ctx, expected, timeout, buffer);
    if (ok) response = buffer;
  });
}

void WaitForDialResponse(Varnel& ctx, int timeout, std::string& result) {
  Guarded(ctx, "WaitForDialResponse", [&] {
    SerialPort& port = ModemPort(ctx);
    std::string buffer;
    std::int64_t deadline = NowSeconds(ctx) + timeout;
    static const char* const kFailures[] = {"BUSY", "NO ANSWER", "NO CARRIER", "NO DIALTONE"};
    for (;;) {
      Delay(ctx.io, PollSlice(ctx));
      if (port.CarrierDetect()) {
        Delay(ctx.io, 2 * ctx.gsm.ShortCommDelay);
        if (port.InputCount() != 0) Append(buffer, port.ReadAll());
        ModemTrace(ctx, {ResponseLine(ctx, buffer)});
        result = "OK";
        return;
      }
      if (port.InputCount() != 0) {
        Append(buffer, port.ReadAll());
        bool failed = std::any_of(std::begin(kFailures), std::end(kFailures), [&](const char* w) {
          return buffer.find(w) != std::string::npos;
        });
        if (failed) break;
      }
      if (NowSeconds(ctx) >= deadline) {
        port.Write("ATH\r");
        ModemTrace(ctx, {Stamped(ctx, "    Time Out..."), ResponseLine(ctx, buffer)});
        result = "Dial Time Out.";
        Delay(ctx.io, ctx.gsm.LongCommDelay);
        return;
      }
    }
    port.Write("ATH\r");
    ModemTrace(ctx, {ResponseLine(ctx, buffer), Stamped(ctx, "    Sending:  ATH<CR>")});
    auto has = [&](const char* w) { return buffer.find(w) != std::string::npos; };
    result = has("NO DIALTONE")  ? "No Dialtone."
             : has("NO CARRIER") ? "No Carrier."
             : has("NO ANSWER")  ? "No Answer."
                                 : "Line Busy.";
    Delay(ctx.io, 2 * ctx.gsm.LongCommDelay);
  });
}

std::string TranslateControlCodes(const std::string& text) {
  static const char* const kNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                         "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                         "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                         "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    auto b = static_cast<unsigned char>(c);
    if (b < 32) {
      out += '<';
      out += kNames[b];
      out += '>';
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<std::string> SessionStartLines(const Varnel& ctx) {
  const std::string rule(42, '#');
  return {"",
          "",
          rule,
          "############ Start of Session ############",
          rule,
          "",
          "TimeStamp:     " + TraceTimestamp(ctx),
          ""};
}

std::vector<std::string> ModemParameterLines(const ModemParameters& mp) {
  return {"************ Modem Parameters ************",
          "Comm Port:             " + std::to_string(mp.CommPort),
          "Dial Prefix:           " + mp.DialPrefix,
          "Comm. Delays:          " + mp.ModemCommDelays,
          "Dial Time Out:         " + std::to_string(mp.TimeOut),
          "Dial Retries:          " + std::to_string(mp.Retries),
          "",
          std::string(42, '-')};
}

bool CollectInput(Varnel& ctx, int timeout, std::string& buffer,
                  const std::function<bool(std::string&)>& done) {
  SerialPort& port = ModemPort(ctx);
  std::int64_t deadline = NowSeconds(ctx) + timeout;
  if (done(buffer)) return true;
  for (;;) {
    Delay(ctx.io, PollSlice(ctx));
    if (port.InputCount() != 0) {
      Append(buffer, port.ReadAll());
      if (done(buffer)) return true;
    }
    if (NowSeconds(ctx) >= deadline) return false;
  }
}

void WriteToModem(Varnel& ctx, const std::string& bytes, const std::string& shown) {
  ModemPort(ctx).Write(bytes);
  ModemTrace(ctx, {Stamped(ctx, "    Sending:  " + shown)});
}

void TraceResponse(Varnel& ctx, const std::string& label, const std::string& received) {
  ModemTrace(ctx, {Stamped(ctx, label + FromWire(TranslateControlCodes(received)))});
}

bool SendWithRetries(Varnel& ctx, const std::string& command, int timeout, int attempts) {
  for (int attempt = 1; attempt <= std::max(attempts, 1); ++attempt) {
    bool ok = false;
    SendATtoModem(ctx, command);
    WaitForResponse(ctx, "OK\r", timeout, ok);
    if (ok) return true;
  }
  return false;
}

std::string PortOpenFailure(int port) { return "COM: Failed to open COM" + std::to_string(port); }

bool RunModemSession(Varnel& ctx, const std::string& procedure,
                     const std::function<void(bool& started)>& body) {
  bool started = false;
  auto end = [&] {
    started = false;  // an error while closing does not close a second time
    PortClose(ctx);
    SetDTR(ctx, false);
  };
  const bool done = Guarded(ctx, procedure, [&] {
    body(started);
    if (started) end();
  });
  if (!done && started) end();
  return done;
}

bool OpenModemPort(Varnel& ctx, const std::string& speed, const std::string& settings, int port) {
  SetDTR(ctx, true);
  PortClose(ctx);
  PortSettings(ctx, speed, settings, port);
  bool opened = false;
  PortOpen(ctx, opened);
  return opened;
}

}  // namespace varnel
