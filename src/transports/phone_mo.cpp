#include "transports/phone_mo.h"

#include "platform/database.h"
#include "platform/event_loop.h"
#include "platform/text.h"
#include "service/errors.h"
#include "service/trace.h"
#include "transports/ansi_text.h"
#include "transports/gsm_charset.h"
#include "transports/modem.h"

namespace varnel {
namespace {

const char* const kOk = "OK\r";
const char* const kUniCode = "GSM 3.38 UniCode";

enum class Terminator { Cr, CtrlZ, CrLf };

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

std::string Without(const std::string& text, char c) {
  std::string out;
  for (char k : text)
    if (k != c) out += k;
  return out;
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string SendError(const std::string& command) {
  return "MO-SMS: Error when sending " + command + "<CR> to MS.";
}

// One run of a protocol engine: steps tried twice each, LongCommDelay between them.
class Engine {
 public:
  explicit Engine(Varnel& ctx) : ctx_(ctx) {}

  // Sends command and waits for expected; on the second failure remembers failure.
  bool Step(Terminator term, const std::string& command, const std::string& expected,
            int timeout, const std::string& failure, bool signal = false) {
    if (steps_++ > 0) Delay(ctx_.io, ctx_.gsm.LongCommDelay);
    for (int attempt = 0; attempt < 2; ++attempt) {
      switch (term) {
        case Terminator::Cr: SendATtoModem(ctx_, command); break;
        case Terminator::CtrlZ: SendATtoModem_CtrlZ(ctx_, command); break;
        case Terminator::CrLf: SendATtoModem_Rakel(ctx_, command); break;
      }
      bool ok = false;
      if (signal)
        WaitForResponseSS(ctx_, expected, timeout, ok, ss_);
      else
        WaitForResponse(ctx_, expected, timeout, ok);
      if (ok) return true;
    }
    failure_ = failure.empty() ? Refused() : failure;
    return false;
  }

  // The failure text of a message the terminal did not take.
  std::string Refused() const {
    return "MO-SMS[SS=" + ss_ + "]: Error when sending message to MS.";
  }

  void Fail(std::int16_t& status, std::string& statusText) const {
    status = send_status::kFailed;
    statusText = failure_;
  }

  void Succeed(const std::string& oper, std::int16_t& status, std::string& statusText) {
    Delay(ctx_.io, ctx_.gsm.LongCommDelay);
    status = send_status::kSent;
    statusText = UpperCase(oper) + "[SS=" + ss_ + "]: Message sent to receiver.";
  }

 private:
  Varnel& ctx_;
  int steps_ = 0;
  std::string ss_ = "--";
  std::string failure_;
};

std::string CharSetWord(const std::string& charSet) {
  return charSet == kUniCode ? "UCS2" : "GSM";
}

std::vector<std::string> SessionHeader(const Varnel& ctx, const ModemParameters& mp,
                                       const OperSettingsMO& op, const std::string& oper,
                                       const std::string& phone,
                                       const std::string& receiverName) {
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
  std::string digits = !serviceCentre.empty() && serviceCentre[0] == '+'
                           ? serviceCentre.substr(1)
                           : serviceCentre;
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
    std::string text = LeftChars(uniCode ? message : Without(message, '\r'), op.MaxChar);
    std::string converted;
    if (op.CharSet == "GSM 3.38 Default")
      converted = GSM338Default7Bit(text);
    else if (op.CharSet == "GSM 3.38 Extended")
      converted = LeftChars(GSM338Default7BitExt(text), op.MaxChar);
    else if (uniCode)
      converted = LeftUtf16(text, 70);
    else if (op.CharSet == "TETRA 8859-1" || op.CharSet == "TETRA PCCP437")
      converted = LeftChars(Without(text, '\n'), op.MaxChar);
    if (op.MessagePrefix) {
      converted = LeftChars(op.PrefixText + converted, op.MaxChar);
      if (uniCode) converted = LeftUtf16(converted, 70);
    }
    if (op.Protocol == "ETSI 07.05-PDU" || op.Protocol == "ETSI 07.05-PDU SCA")
      coded = uniCode ? CodeMessageToUniCodePduMode(converted, phone)
                      : CodeMessageToEtsiPduMode(converted, phone);
    else if (op.Protocol == "ETSI 07.05-TEXT" || op.Protocol == "TETRA SDS4-TEXT")
      coded = converted;
    ModemTrace(ctx, {"", TraceTimestamp(ctx) + "    Original Message:      " + text,
                     TraceTimestamp(ctx) + "    Character Conversion:  " + converted,
                     TraceTimestamp(ctx) + "    Coded Message to Send: " +
                         TranslateControlCodes(coded)});
  });
}

void SendMessage_ETSI_PDU(Varnel& ctx, const std::string& charSet, const std::string& pdu,
                          const std::string& serviceCentre, const std::string& oper,
                          std::int16_t& status, std::string& statusText) {
  Engine e(ctx);
  const std::string cs = CharSetWord(charSet);
  const std::string n = std::to_string(pdu.size() / 2);
  const std::string csca = "AT+CSCA=" + Quoted(serviceCentre);
  bool sent = e.Step(Terminator::Cr, "AT+CMGF=0", kOk, 4, SendError("AT+CMGF=0")) &&
              e.Step(Terminator::Cr, "AT+CSCS=" + Quoted(cs), kOk, 4, SendError("AT+CSCS=" + cs)) &&
              e.Step(Terminator::Cr, "AT+CSMS=0", kOk, 4, SendError("AT+CSMS=0")) &&
              e.Step(Terminator::Cr, csca, kOk, 4, SendError(csca)) &&
              e.Step(Terminator::Cr, "AT+CSQ", kOk, 4, SendError("AT+CSQ"), true) &&
              e.Step(Terminator::Cr, "AT+CMGS=" + n, ">", 4, SendError("AT+CMGS=" + n)) &&
              e.Step(Terminator::CtrlZ, pdu, kOk, 10, "");
  if (sent)
    e.Succeed(oper, status, statusText);
  else
    e.Fail(status, statusText);
}

void SendMessage_ETSI_PDU_SCA(Varnel& ctx, const std::string& charSet, const std::string& pdu,
                              const std::string& serviceCentre, const std::string& oper,
                              std::int16_t& status, std::string& statusText) {
  Engine e(ctx);
  const std::string cs = CharSetWord(charSet);
  const std::string n = std::to_string(pdu.size() / 2);
  bool sent = e.Step(Terminator::Cr, "AT+CMGF=0", kOk, 4, SendError("AT+CMGF=0")) &&
              e.Step(Terminator::Cr, "AT+CSCS=" + Quoted(cs), kOk, 4, SendError("AT+CSCS=" + cs)) &&
              e.Step(Terminator::Cr, "AT+CSMS=0", kOk, 4, SendError("AT+CSMS=0")) &&
              e.Step(Terminator::Cr, "AT+CSQ", kOk, 4, SendError("AT+CSQ"), true) &&
              e.Step(Terminator::Cr, "AT+CMGS=" + n, ">", 4, SendError("AT+CMGS=" + n)) &&
              e.Step(Terminator::CtrlZ, SmscField(serviceCentre) + pdu, kOk, 10, "");
  if (sent)
    e.Succeed(oper, status, statusText);
  else
    e.Fail(status, statusText);
}

void SendMessage_ETSI_TEXT(Varnel& ctx, const std::string& charSet, const std::string& text,
                           const std::string& serviceCentre, const std::string& phone,
                           const std::string& oper, std::int16_t& status,
                           std::string& statusText) {
  Engine e(ctx);
  const std::string cs = CharSetWord(charSet);
  const std::string csca = "AT+CSCA=" + Quoted(serviceCentre);
  const std::string cmgs =
      "AT+CMGS=" + Quoted(!phone.empty() && phone[0] == '+' ? phone : "+" + phone);
  bool sent = e.Step(Terminator::Cr, "AT+CMGF=1", kOk, 4, SendError("AT+CMGF=1")) &&
              e.Step(Terminator::Cr, "AT+CSCS=" + Quoted(cs), kOk, 4, SendError("AT+CSCS=" + cs)) &&
              e.Step(Terminator::Cr, "AT+CSMP=17,167,0,0", kOk, 4, SendError("AT+CSMP=17,167,0,0")) &&
              e.Step(Terminator::Cr, "AT+CSQ", kOk, 4, SendError("AT+CSQ"), true) &&
              e.Step(Terminator::Cr, csca, kOk, 4, SendError(csca)) &&
              e.Step(Terminator::Cr, cmgs, ">", 4, SendError(cmgs)) &&
              e.Step(Terminator::CtrlZ, text, kOk, 10, "");
  if (sent)
    e.Succeed(oper, status, statusText);
  else
    e.Fail(status, statusText);
}

void SendMessage_TETRA_SDS4_TEXT(Varnel& ctx, const std::string& charSet,
                                 const std::string& text, const std::string&,
                                 const std::string& phone, const std::string& oper,
                                 std::int16_t& status, std::string& statusText) {
  Engine e(ctx);
  const std::string ts = charSet == "TETRA 8859-1"    ? "8859-1"
                         : charSet == "TETRA PCCP437" ? "PCCP437"
                                                      : "";
  bool sent = e.Step(Terminator::Cr, "AT+CTSDS=12,0", kOk, 4, SendError("AT+CTSDS=12,0")) &&
              e.Step(Terminator::Cr, "AT+CMGF=8", kOk, 4, SendError("AT+CMGF=8")) &&
              e.Step(Terminator::Cr, "AT+CSCS=" + Quoted(ts), kOk, 4, SendError("AT+CSCS=" + ts)) &&
              e.Step(Terminator::Cr, "AT+CTSP=1,2", kOk, 4, SendError("AT+CTSP=1,2")) &&
              e.Step(Terminator::Cr, "AT+CSQ", kOk, 4, SendError("AT+CSQ"), true) &&
              e.Step(Terminator::CrLf, "AT+CMGS=" + Quoted(phone), "> ", 4, "") &&
              e.Step(Terminator::CtrlZ, LeftChars(text, 140), kOk, 4, "");
  if (sent)
    e.Succeed(oper, status, statusText);
  else
    e.Fail(status, statusText);
}

void SendToPhoneMO(Varnel& ctx, const std::string& oper, const std::string& phone,
                   const std::string& receiverName, const std::string& message,
                   std::int16_t& status, std::string& statusText) {
  bool inSession = false;
  bool done = Guarded(ctx, "SendToPhoneMO", [&] {
    ModemParameters mp;
    GetModemParameters(ctx, mp);
    OperSettingsMO op;
    bool found = false;
    GetOperSettingsMO(ctx, oper, op, found);
    if (!found) {
      status = send_status::kFailed;
      statusText = "OPERATOR: " + oper + " not found in database.";
      return;
    }
    ModemTrace(ctx, SessionHeader(ctx, mp, op, oper, phone, receiverName));
    SetStatus(ctx, StatusStepCode::Sending, "Sending " + op.ModemInitString + " to MS");

    inSession = true;
    if (!OpenModemPort(ctx, op.ModemSpeed, op.ModemSettings, mp.CommPort)) {
      status = send_status::kFailed;
      statusText = "COM: Failed to open COM" + std::to_string(mp.CommPort);
    } else {
      SetRTS(ctx, true);
      bool ok = false;
      int attempt = 0;
      do {
        ++attempt;
        SendATtoModem(ctx, op.ModemInitString);
        WaitForResponse(ctx, kOk, 4, ok);
      } while (!ok && attempt <= mp.Retries);
      if (ok) {
        Delay(ctx.io, ctx.gsm.LongCommDelay);
        std::string coded;
        FormatMessageMO(ctx, op, phone, message, coded);
        ctx.StatusText = "Sending message...";
        if (op.Protocol == "ETSI 07.05-PDU SCA")
          SendMessage_ETSI_PDU_SCA(ctx, op.CharSet, coded, op.TerminalNumber, oper, status,
                                   statusText);
        else if (op.Protocol == "ETSI 07.05-PDU")
          SendMessage_ETSI_PDU(ctx, op.CharSet, coded, op.TerminalNumber, oper, status,
                               statusText);
        else if (op.Protocol == "ETSI 07.05-TEXT")
          SendMessage_ETSI_TEXT(ctx, op.CharSet, coded, op.TerminalNumber, phone, oper, status,
                                statusText);
        else if (op.Protocol == "TETRA SDS4-TEXT")
          SendMessage_TETRA_SDS4_TEXT(ctx, op.CharSet, coded, op.TerminalNumber, phone, oper,
                                      status, statusText);
        ctx.StatusText = "Disconnecting...";
      } else {
        status = send_status::kFailed;
        statusText = SendError(op.ModemInitString);
      }
    }
    // Every way out of a session closes the port and drops DTR.
    inSession = false;
    PortClose(ctx);
    SetDTR(ctx, false);
  });
  if (!done && inSession) {
    PortClose(ctx);
    SetDTR(ctx, false);
  }
}

}  // namespace varnel
