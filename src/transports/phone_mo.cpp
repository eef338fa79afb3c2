#include "transports/phone_mo.h"

#include <map>

#include "platform/database.h"
#include "platform/event_loop.h"
#include "platform/text.h"
#include "service/errors.h"
#include "service/trace.h"
#include "transports/alarm_text.h"
#include "transports/ansi_text.h"
#include "transports/gsm_charset.h"
#include "transports/modem.h"

namespace varnel {
namespace {

constexpr const char* kOk = "OK\r";
const char* const kUniCode = kCharSetGsmUniCode;

// Seconds the terminal gets to take the message itself.
constexpr int kMessageTimeout = 10;

// The first n UTF-16 code units of a text, never splitting a surrogate pair; UCS-2 user
// data holds at most 140 octets.
std::string LeftUtf16(const std::string& text, std::size_t n) {
  std::string out;
  std::size_t units = 0;
  for (char32_t cp : CodePoints(text)) {
    units += cp >= 0x10000 ? 2 : 1;
    if (units > n) break;
    out += Utf8Of(cp);
  }
  return out;
}

std::string SendError(const std::string& command) {
  return "MO-SMS: Error when sending " + command + "<CR> to MS.";
}

enum class Terminator { Cr, CtrlZ, CrLf };

// One step of a send dialogue. Commands and failure names are templates whose {name} fields
// are filled from the session's values.
struct DialogueStep {
  Terminator terminator;
  const char* command;
  const char* expected;  // the reply or prompt that ends the wait
  int timeout;           // seconds
  bool signal;           // the reply carries the signal strength
  const char* failure;   // the command the failure text names; nullptr: the message was refused
};

constexpr DialogueStep kEtsiPdu[] = {
    {Terminator::Cr, "AT+CMGF=0", kOk, kCommandTimeout, false, "AT+CMGF=0"},
    {Terminator::Cr, "AT+CSCS=\"{cs}\"", kOk, kCommandTimeout, false, "AT+CSCS={cs}"},
    {Terminator::Cr, "AT+CSMS=0", kOk, kCommandTimeout, false, "AT+CSMS=0"},
    {Terminator::Cr, "AT+CSCA=\"{sc}\"", kOk, kCommandTimeout, false, "AT+CSCA=\"{sc}\""},
    {Terminator::Cr, "AT+CSQ", kOk, kCommandTimeout, true, "AT+CSQ"},
    {Terminator::Cr, "AT+CMGS={octets}", ">", kCommandTimeout, false, "AT+CMGS={octets}"},
    {Terminator::CtrlZ, "{message}", kOk, kMessageTimeout, false, nullptr}};

// The service centre goes in front of the PDU instead of being set with +CSCA.
constexpr DialogueStep kEtsiPduSca[] = {
    {Terminator::Cr, "AT+CMGF=0", kOk, kCommandTimeout, false, "AT+CMGF=0"},
    {Terminator::Cr, "AT+CSCS=\"{cs}\"", kOk, kCommandTimeout, false, "AT+CSCS={cs}"},
    {Terminator::Cr, "AT+CSMS=0", kOk, kCommandTimeout, false, "AT+CSMS=0"},
    {Terminator::Cr, "AT+CSQ", kOk, kCommandTimeout, true, "AT+CSQ"},
    {Terminator::Cr, "AT+CMGS={octets}", ">", kCommandTimeout, false, "AT+CMGS={octets}"},
    {Terminator::CtrlZ, "{smsc}{message}", kOk, kMessageTimeout, false, nullptr}};

constexpr DialogueStep kEtsiText[] = {
    {Terminator::Cr, "AT+CMGF=1", kOk, kCommandTimeout, false, "AT+CMGF=1"},
    {Terminator::Cr, "AT+CSCS=\"{cs}\"", kOk, kCommandTimeout, false, "AT+CSCS={cs}"},
    {Terminator::Cr, "AT+CSMP=17,167,0,0", kOk, kCommandTimeout, false, "AT+CSMP=17,167,0,0"},
    {Terminator::Cr, "AT+CSQ", kOk, kCommandTimeout, true, "AT+CSQ"},
    {Terminator::Cr, "AT+CSCA=\"{sc}\"", kOk, kCommandTimeout, false, "AT+CSCA=\"{sc}\""},
    {Terminator::Cr, "AT+CMGS=\"{intl}\"", ">", kCommandTimeout, false, "AT+CMGS=\"{intl}\""},
    {Terminator::CtrlZ, "{message}", kOk, kMessageTimeout, false, nullptr}};

// TETRA terminals prompt with "> " after a CR LF and take at most 140 characters.
constexpr DialogueStep kTetraSds4Text[] = {
    {Terminator::Cr, "AT+CTSDS=12,0", kOk, kCommandTimeout, false, "AT+CTSDS=12,0"},
    {Terminator::Cr, "AT+CMGF=8", kOk, kCommandTimeout, false, "AT+CMGF=8"},
    {Terminator::Cr, "AT+CSCS=\"{ts}\"", kOk, kCommandTimeout, false, "AT+CSCS={ts}"},
    {Terminator::Cr, "AT+CTSP=1,2", kOk, kCommandTimeout, false, "AT+CTSP=1,2"},
    {Terminator::Cr, "AT+CSQ", kOk, kCommandTimeout, true, "AT+CSQ"},
    {Terminator::CrLf, "AT+CMGS=\"{phone}\"", "> ", kCommandTimeout, false, nullptr},
    {Terminator::CtrlZ, "{message140}", kOk, kCommandTimeout, false, nullptr}};

struct Protocol {
  const char* name;  // the Protocol column of the operator
  const DialogueStep* steps;
  std::size_t count;
};

template <std::size_t N>
constexpr Protocol MakeProtocol(const char* name, const DialogueStep (&steps)[N]) {
  return {name, steps, N};
}

constexpr Protocol kProtocols[] = {MakeProtocol(kProtocolEtsiPdu, kEtsiPdu),
                                   MakeProtocol(kProtocolEtsiPduSca, kEtsiPduSca),
                                   MakeProtocol(kProtocolEtsiText, kEtsiText),
                                   MakeProtocol(kProtocolTetraSds4Text, kTetraSds4Text)};

// A template with each {name} replaced by its value; values are not scanned again.
std::string Fill(std::string_view pattern, const std::map<std::string, std::string>& values) {
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const std::size_t close = pattern[i] == '{' ? pattern.find('}', i) : std::string_view::npos;
    if (close != std::string_view::npos) {
      auto it = values.find(std::string(pattern.substr(i + 1, close - i - 1)));
      if (it != values.end()) {
        out += it->second;
        i = close;
        continue;
      }
    }
    out += pattern[i];
  }
  return out;
}

// Runs a dialogue on an open, initialised port: each step is tried twice, LongCommDelay
// between steps; the first step that fails twice ends it.
void RunDialogue(Varnel& ctx, const Protocol& protocol,
                 const std::map<std::string, std::string>& values, const std::string& oper,
                 std::int16_t& status, std::string& statusText) {
  std::string ss = "--";
  for (std::size_t k = 0; k < protocol.count; ++k) {
    const DialogueStep& step = protocol.steps[k];
    if (k > 0) Delay(ctx.io, ctx.gsm.LongCommDelay);
    const std::string command = Fill(step.command, values);
    bool ok = false;
    for (int attempt = 0; attempt < 2 && !ok; ++attempt) {
      switch (step.terminator) {
        case Terminator::Cr: SendATtoModem(ctx, command); break;
        case Terminator::CtrlZ: SendATtoModem_CtrlZ(ctx, command); break;
        case Terminator::CrLf: SendATtoModem_Rakel(ctx, command); break;
      }
      if (step.signal)
        WaitForResponseSS(ctx, step.expected, step.timeout, ok, ss);
      else
        WaitForResponse(ctx, step.expected, step.timeout, ok);
    }
    if (!ok) {
      status = kSendFailed;
      statusText = step.failure ? SendError(Fill(step.failure, values))
                                : "MO-SMS[SS=" + ss + "]: Error when sending message to MS.";
      return;
    }
  }
  Delay(ctx.io, ctx.gsm.LongCommDelay);
  status = kSent;
  statusText = UpperCase(oper) + "[SS=" + ss + "]: Message sent to receiver.";
}

// The values the dialogue templates are filled with.
std::map<std::string, std::string> DialogueValues(const OperSettingsMO& op,
                                                  const std::string& phone,
                                                  const std::string& coded) {
  const std::string ts = op.CharSet == kCharSetTetra8859      ? "8859-1"
                         : op.CharSet == kCharSetTetraPccp437 ? "PCCP437"
                                                              : "";
  return {{"cs", op.CharSet == kUniCode ? "UCS2" : "GSM"},
          {"ts", ts},
          {"sc", op.TerminalNumber},
          {"smsc", SmscField(op.TerminalNumber)},
          {"octets", std::to_string(coded.size() / 2)},
          {"phone", phone},
          {"intl", !phone.empty() && phone[0] == '+' ? phone : "+" + phone},
          {"message", coded},
          {"message140", LeftChars(coded, 140)}};
}

std::vector<std::string> SessionHeader(const Varnel& ctx, const ModemParameters& mp,
                                       const OperSettingsMO& op, const std::string& oper,
                                       const std::string& phone, const std::string& receiverName) {
  std::vector<std::string> lines = SessionStartLines(ctx);
  const std::vector<std::string> receiver = {
      "***** Phone Mobile Originated Access *****",
      "Receiver:              " + receiverName,
      "Phone Number:          " + phone,
      "Operator:              " + oper,
      "",
      "************ Operator Settings ***********",
      "Protocol:              " + op.Protocol,
      "Service Center Number: " + op.TerminalNumber,
      "Modem Init String:     " + op.ModemInitString,
      "Modem Speed:           " + op.ModemSpeed,
      "Modem Settings:        " + op.ModemSettings,
      "Max Char:              " + std::to_string(op.MaxChar),
      "Char Set:              " + op.CharSet,
      std::string("Message Prefix:        ") + (op.MessagePrefix ? "True" : "False"),
      "Prefix Text:           " + op.PrefixText,
      ""};
  lines.insert(lines.end(), receiver.begin(), receiver.end());
  for (auto& l : ModemParameterLines(mp)) lines.push_back(l);
  return lines;
}

}  // namespace

std::string SmscField(const std::string& serviceCentre) {
  std::string digits =
      !serviceCentre.empty() && serviceCentre[0] == '+' ? serviceCentre.substr(1) : serviceCentre;
  std::string swapped = SwapSemiOctets(digits);
  return Hex2(static_cast<unsigned>(swapped.size() / 2 + 1)) + "91" + swapped;
}

void GetOperSettingsMO(Varnel& ctx, const std::string& oper, OperSettingsMO& out, bool& found) {
  found = false;
  Guarded(ctx, "GetOperSettingsMO", [&] {
    Database db = OpenDatabase(ctx);
    for (Table t = db.Open("Settings_Oper_Phone_MO"); !t.Eof(); t.MoveNext()) {
      if (t.Text("Name") != oper) continue;
      out.Protocol = t.Text("Protocol");
      out.TerminalNumber = t.Text("TerminalNumber");
      out.ModemInitString = t.Text("ModemInitString");
      out.ModemSpeed = t.Text("ModemSpeed");
      out.ModemSettings = t.Text("ModemSettings");
      out.MaxChar = t.Int16("MaxChar");
      out.CharSet = t.Text("CharSet");
      out.MessagePrefix = t.Flag("MessagePrefix");
      out.PrefixText = t.Text("PrefixText");
      found = true;
      return;
    }
  });
}

void FormatMessageMO(Varnel& ctx, const OperSettingsMO& op, const std::string& phone,
                     const std::string& message, std::string& coded) {
  Guarded(ctx, "FormatMessageMO", [&] {
    const bool uniCode = op.CharSet == kUniCode;
    std::string text = LeftChars(uniCode ? message : ReplaceAll(message, "\r", ""), op.MaxChar);
    std::string converted;
    if (op.CharSet == kCharSetGsmDefault)
      converted = GSM338Default7Bit(text);
    else if (op.CharSet == kCharSetGsmExtended)
      converted = LeftChars(GSM338Default7BitExt(text), op.MaxChar);
    else if (uniCode)
      converted = LeftUtf16(text, 70);
    else if (op.CharSet == kCharSetTetra8859 || op.CharSet == kCharSetTetraPccp437)
      converted = LeftChars(ReplaceAll(text, "\n", ""), op.MaxChar);
    if (op.MessagePrefix) {
      converted = LeftChars(op.PrefixText + converted, op.MaxChar);
      if (uniCode) converted = LeftUtf16(converted, 70);
    }
    if (op.Protocol == kProtocolEtsiPdu || op.Protocol == kProtocolEtsiPduSca)
      coded = uniCode ? CodeMessageToUniCodePduMode(converted, phone)
                      : CodeMessageToEtsiPduMode(converted, phone);
    else if (op.Protocol == kProtocolEtsiText || op.Protocol == kProtocolTetraSds4Text)
      coded = converted;
    ModemTrace(
        ctx, {"", TraceTimestamp(ctx) + "    Original Message:      " + text,
              TraceTimestamp(ctx) + "    Character Conversion:  " + converted,
              TraceTimestamp(ctx) + "    Coded Message to Send: " + TranslateControlCodes(coded)});
  });
}

void SendToPhoneMO(Varnel& ctx, const std::string& oper, const std::string& phone,
                   const std::string& receiverName, const std::string& message,
                   std::int16_t& status, std::string& statusText) {
  RunModemSession(ctx, "SendToPhoneMO", [&](bool& inSession) {
    ModemParameters mp;
    GetModemParameters(ctx, mp);
    OperSettingsMO op;
    bool found = false;
    GetOperSettingsMO(ctx, oper, op, found);
    if (!found) {
      status = kSendFailed;
      statusText = "OPERATOR: " + oper + " not found in database.";
      return;
    }
    ModemTrace(ctx, SessionHeader(ctx, mp, op, oper, phone, receiverName));
    SetStatus(ctx, StatusStepCode::Sending, "Sending " + op.ModemInitString + " to MS");

    inSession = true;
    if (!OpenModemPort(ctx, op.ModemSpeed, op.ModemSettings, mp.CommPort)) {
      status = kSendFailed;
      statusText = PortOpenFailure(mp.CommPort);
    } else {
      SetRTS(ctx, true);
      bool ok = false;
      int attempt = 0;
      do {
        ++attempt;
        SendATtoModem(ctx, op.ModemInitString);
        WaitForResponse(ctx, kOk, kCommandTimeout, ok);
      } while (!ok && attempt <= mp.Retries);
      if (ok) {
        Delay(ctx.io, ctx.gsm.LongCommDelay);
        std::string coded;
        FormatMessageMO(ctx, op, phone, message, coded);
        ctx.StatusText = "Sending message...";
        for (const Protocol& protocol : kProtocols)
          if (op.Protocol == protocol.name)
            RunDialogue(ctx, protocol, DialogueValues(op, phone, coded), oper, status, statusText);
        ctx.StatusText = "Disconnecting...";
      } else {
        status = kSendFailed;
        statusText = SendError(op.ModemInitString);
      }
    }
  });
}

}  // namespace varnel
