#include "transports/paging.h"

#include <algorithm>

#include "platform/database.h"
#include "platform/event_loop.h"
#include "platform/text.h"
#include "service/errors.h"
#include "service/trace.h"
#include "transports/alarm_text.h"
#include "transports/ansi_text.h"
#include "transports/espa.h"
#include "transports/modem.h"
#include "transports/paging_charset.h"
#include "transports/tap.h"
#include "transports/ucp.h"

namespace varnel {
namespace {

const std::string kAck = "\x06";
constexpr int kInitWait = 3;  // seconds the modem gets to answer its initialisation
constexpr int kEspaAckWait = 2;

using Engine = void (*)(Varnel&, const std::string&, const std::string&, std::int16_t&,
                        std::string&);

bool IsUcp(const std::string& protocol) {
  return protocol == kProtocolUcp01 || protocol == kProtocolUcp01Pad || protocol == kProtocolUcp30;
}

// The character conversion of a set for a protocol; nullptr leaves the text as it is.
using Conversion = std::string (*)(const std::string&);
bool ConversionOf(const std::string& charSet, const std::string& protocol, Conversion& convert) {
  const bool tap = protocol == kProtocolTap, espa = protocol == kProtocolEspa;
  convert = nullptr;
  if (charSet == kCharSetTransparent) return true;
  if (!tap && !espa && !IsUcp(protocol)) return false;
  if (charSet == kCharSetIa5International)
    convert = IsUcp(protocol) ? IA5IntUCP : IA5IntTAP;
  else if (charSet == kCharSetIa5Swedish)
    convert = IsUcp(protocol) ? IA5IntUCP : espa ? IA5SweTAP : IA5IntTAP;
  else if (charSet == kCharSetAnsiToAscii)
    convert = IsUcp(protocol) ? IA5IntUCP : espa ? ANSItoASCII : IA5IntTAP;
  return convert != nullptr;
}

std::vector<std::string> SessionHeader(const Varnel& ctx, const ModemParameters& mp,
                                       const OperSettings& op, const std::string& type,
                                       const std::string& oper, const std::string& number,
                                       const std::string& receiverName) {
  const bool phone = type == kPhoneDA;
  std::vector<std::string> lines = SessionStartLines(ctx);
  std::vector<std::string> receiver = {
      phone ? "*********** Phone Dialup Access **********"
            : "*************** Pager Alfa ***************",
      "Receiver:          " + receiverName,
      (phone ? "Phone Number:      " : "Pager Number:      ") + number,
      "Operator:          " + oper,
      "",
      "************ Operator Settings ***********",
      "Protocol:              " + op.Protocol,
      "Service Center Number: " + op.TerminalNumber,
      "Modem Init String:     " + op.ModemInitString,
      "Modem Speed:           " + op.ModemSpeed,
      "Modem Settings:        " + op.ModemSettings,
      "Logon ID:              " + op.LogonID,
      "Logon Password:        " + op.LogonPassword,
      "Max Char:              " + std::to_string(op.MaxChar),
      "Char Set:              " + op.CharSet,
      "Wait After Connect:    " + std::to_string(op.WaitAfterConnect)};
  if (phone)
    receiver.push_back(std::string("Confirmed Delivery:    ") +
                       (op.ConfirmedDelivery ? "True" : "False"));
  receiver.push_back("");
  lines.insert(lines.end(), receiver.begin(), receiver.end());
  for (auto& l : ModemParameterLines(mp)) lines.push_back(l);
  return lines;
}

// Sends command (already written by send) up to attempts times until ACK answers it.
template <class Send>
bool AckedWithRetries(Varnel& ctx, int attempts, Send send) {
  bool ok = false;
  for (int attempt = 0; attempt < attempts && !ok; ++attempt) {
    send();
    WaitForResponse(ctx, kAck, kEspaAckWait, ok);
  }
  return ok;
}

// The serial port of an ESPA operator: ModemInitString when it is a number, else 1.
int EspaPort(const std::string& value) {
  std::string v = Trim(value);
  if (v.empty() || v.size() > 5 || v.find_first_not_of("0123456789") != std::string::npos) return 1;
  return std::stoi(v);
}

void EspaSession(Varnel& ctx, const ModemParameters& mp, const OperSettings& op,
                 const std::string& oper, const std::string& number, const std::string& message,
                 std::int16_t& status, std::string& statusText) {
  const int port = EspaPort(op.ModemInitString);
  const std::string name = UpperCase(oper);
  ctx.StatusText = "Open COM" + op.ModemInitString;
  if (!OpenModemPort(ctx, op.ModemSpeed, op.ModemSettings, port)) {
    status = kSendFailed;
    statusText = PortOpenFailure(port);
    return;
  }
  SetRTS(ctx, true);
  const int attempts = std::max(mp.Retries + 1, 1);
  if (!AckedWithRetries(ctx, attempts, [&] {
        SendMessage_ESPA_444(ctx, "InitPoll", op.TerminalNumber, "", "");
      })) {
    status = kSendFailed;
    statusText = name + ": Error when sending Poll Sequence.";
    return;
  }
  Delay(ctx.io, ctx.gsm.LongCommDelay);
  ctx.StatusText = "Sending message...";
  std::string text;
  FormatMessage(ctx, op, number, message, text);
  bool acked = AckedWithRetries(
      ctx, attempts, [&] { SendMessage_ESPA_444(ctx, "PagingBlock", "", number, text); });
  status = acked ? kSent : kSendFailed;
  statusText =
      name + (acked ? ": Message sent to receiver." : ": Error when sending Paging Block.");
  Delay(ctx.io, ctx.gsm.ShortCommDelay);
  SendMessage_ESPA_444(ctx, "Quit", "", "", "");
  Delay(ctx.io, ctx.gsm.LongCommDelay);
}

// Steps 4 to 10: a modem dials the centre and the protocol engine sends the block.
void DialUpSession(Varnel& ctx, const ModemParameters& mp, const OperSettings& op,
                   const std::string& oper, const std::string& number, const std::string& message,
                   std::int16_t& status, std::string& statusText) {
  ctx.StatusText = "Sending " + op.ModemInitString + " to Modem";
  if (!OpenModemPort(ctx, op.ModemSpeed, op.ModemSettings, mp.CommPort)) {
    status = kSendFailed;
    statusText = PortOpenFailure(mp.CommPort);
    return;
  }
  SetRTS(ctx, true);
  const int attempts = std::max(mp.Retries + 1, 1);
  if (!SendWithRetries(ctx, op.ModemInitString, kInitWait, attempts)) {
    status = kSendFailed;
    statusText = "MODEM: Error when sending " + op.ModemInitString + "<CR> to modem.";
    return;
  }
  Delay(ctx.io, ctx.gsm.LongCommDelay);
  const std::string dial = mp.DialPrefix + op.TerminalNumber;
  ctx.StatusText = "Dialing Operator: " + dial;
  std::string result;
  for (int attempt = 0; attempt < attempts && result != "OK"; ++attempt) {
    SendATtoModem(ctx, dial);
    WaitForDialResponse(ctx, mp.TimeOut, result);
  }
  if (result != "OK") {
    status = kSendFailed;
    statusText = UpperCase(oper) + ": " + result;
    return;
  }
  const int wait = std::clamp<int>(op.WaitAfterConnect, 0, kMaxWaitAfterConnect);
  if (wait > 0) Delay(ctx.io, wait * 1000);
  std::string block;
  FormatMessage(ctx, op, number, message, block);
  ctx.StatusText = "Sending message...";
  if (op.Protocol == kProtocolTap) {
    SendMessage_TAP(ctx, block, op.LogonID, op.LogonPassword, oper, status, statusText);
    return;
  }
  Engine engine = op.Protocol == kProtocolUcp01      ? SendMessage_UCP_01
                  : op.Protocol == kProtocolUcp01Pad ? SendMessage_UCP_01_PAD
                  : op.Protocol != kProtocolUcp30    ? nullptr
                  : op.ConfirmedDelivery             ? SendMessage_UCP_30_Conf
                                                     : SendMessage_UCP_30_NoConf;
  if (engine) engine(ctx, block, oper, status, statusText);
}

}  // namespace

void GetOperSettings(Varnel& ctx, const std::string& receiverType, const std::string& oper,
                     OperSettings& out, bool& found) {
  found = false;
  Guarded(ctx, "GetOperSettings", [&] {
    const bool phone = receiverType == kPhoneDA;
    Database db = OpenDatabase(ctx);
    for (Table t = db.Open(phone ? "Settings_Oper_Phone_Dialup" : "Settings_Oper_Pager_Alfa");
         !t.Eof(); t.MoveNext()) {
      if (t.Text("Name") != oper) continue;
      out.Protocol = t.Text("Protocol");
      out.TerminalNumber = t.Text("TerminalNumber");
      out.ModemInitString = t.Text("ModemInitString");
      out.ModemSpeed = t.Text("ModemSpeed");
      out.ModemSettings = t.Text("ModemSettings");
      out.LogonID = t.Text("LogonID");
      out.LogonPassword = t.Text("LogonPassword");
      out.MaxChar = t.Int16("MaxChar");
      out.CharSet = t.Text("CharSet");
      out.WaitAfterConnect = t.Int16("WaitAfterConnect");
      out.ConfirmedDelivery = phone && t.Flag("ConfirmedDelivery");
      found = true;
      return;
    }
  });
}

void FormatMessage(Varnel& ctx, const OperSettings& op, const std::string& number,
                   const std::string& message, std::string& block) {
  Guarded(ctx, "FormatMessage", [&] {
    const std::string text = LeftChars(ReplaceAll(message, "\r", ""), op.MaxChar);
    Conversion convert = nullptr;
    std::string converted;
    if (ConversionOf(op.CharSet, op.Protocol, convert))
      converted = convert ? convert(text) : ToAnsiBytes(text);
    if (op.Protocol == kProtocolTap)
      block = TapBlock(number, converted, op.ConfirmedDelivery);
    else if (op.Protocol == kProtocolUcp01 || op.Protocol == kProtocolUcp01Pad)
      block = UcpFrame01(number, op.LogonID, op.LogonPassword, converted);
    else if (op.Protocol == kProtocolUcp30)
      block = UcpFrame30(number, op.LogonID, op.LogonPassword, op.ConfirmedDelivery, converted);
    else if (op.Protocol == kProtocolEspa)
      block = converted;
    else
      block = converted + "\r";
    const std::string stamp = TraceTimestamp(ctx);
    ModemTrace(ctx,
               {"", stamp + "    Original Message:      " + text,
                stamp + "    Character Conversion:  " + FromWire(converted),
                stamp + "    Coded Message to Send: " + FromWire(TranslateControlCodes(block))});
  });
}

void SendToPhoneDA_PagerAlfa(Varnel& ctx, const std::string& receiverType, const std::string& oper,
                             const std::string& number, const std::string& receiverName,
                             const std::string& message, std::int16_t& status,
                             std::string& statusText) {
  RunModemSession(ctx, "SendToPhoneDA_PagerAlfa", [&](bool& inSession) {
    ModemParameters mp;
    GetModemParameters(ctx, mp);
    OperSettings op;
    bool found = false;
    GetOperSettings(ctx, receiverType, oper, op, found);
    if (!found) {
      status = kSendFailed;
      statusText = "OPERATOR: " + oper + " not found in database.";
      return;
    }
    ModemTrace(ctx, SessionHeader(ctx, mp, op, receiverType, oper, number, receiverName));
    ctx.StatusStep = StatusStepCode::Sending;
    inSession = true;
    if (op.Protocol == kProtocolEspa)
      EspaSession(ctx, mp, op, oper, number, message, status, statusText);
    else
      DialUpSession(ctx, mp, op, oper, number, message, status, statusText);
    ctx.StatusText = "Disconnecting...";
  });
}

}  // namespace varnel
