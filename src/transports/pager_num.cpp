#include "transports/pager_num.h"

#include <algorithm>

#include "platform/event_loop.h"
#include "platform/text.h"
#include "service/errors.h"
#include "service/trace.h"
#include "transports/modem.h"

namespace varnel {
namespace {

constexpr int kInitWait = 3;
const char* const kCallFailed = "PAGER NUM: Error calling pager.";

std::vector<std::string> SessionHeader(const Varnel& ctx, const ModemParameters& mp,
                                       const std::string& number, const std::string& receiverName,
                                       bool moCalling, const std::string& code, int delay) {
  std::vector<std::string> lines = SessionStartLines(ctx);
  const std::vector<std::string> rest = {
      "************** Pager Numeric *************",
      "Receiver:         " + receiverName,
      "Number:           " + number,
      std::string("MO Calling:       ") + (moCalling ? "True" : "False"),
      "Code:             " + code,
      "Delay:            " + std::to_string(delay),
      "",
      "************ Modem Parameters ************",
      "Comm Port:        " + std::to_string(mp.CommPort),
      "Dial Prefix:      " + mp.DialPrefix,
      "Comm. Delays:     " + mp.ModemCommDelays,
      "Dial Retries:     " + std::to_string(mp.Retries),
      "Init String:      " + mp.ModemInitString,
      "",
      std::string(42, '-')};
  lines.insert(lines.end(), rest.begin(), rest.end());
  return lines;
}

// Steps 5 to 7: the call and its result; ok is whether the code reached the pager service.
bool Call(Varnel& ctx, const ModemParameters& mp, const std::string& number, bool moCalling,
          const std::string& code, std::int16_t delay) {
  const int attempts = std::max(mp.Retries + 1, 1);
  bool ok = false;
  if (!moCalling) {
    for (int attempt = 0; attempt < attempts && !ok; ++attempt) {
      SendATtoModem(ctx, mp.DialPrefix + number + code);
      WaitForPagerNumResponse(ctx, delay, false, ok);
    }
    return ok;
  }
  // Each "," of the code is a pause of two seconds that the voice call may take to answer.
  const int answerWait = 2 * static_cast<int>(std::count(code.begin(), code.end(), ','));
  for (int attempt = 0; attempt < attempts && !ok; ++attempt) {
    SendATtoModem(ctx, mp.DialPrefix + number + ";");
    WaitForResponse(ctx, "OK\r", answerWait, ok);
  }
  if (!ok) return false;
  SendATtoModem(ctx, "AT+VTS=" + code.substr(std::min(code.find_first_not_of(','), code.size())));
  WaitForPagerNumResponse(ctx, delay, true, ok);
  return ok;
}

// Steps 4 to 7 on the open port.
void InitialiseAndCall(Varnel& ctx, const ModemParameters& mp, const std::string& number,
                       bool moCalling, const std::string& code, std::int16_t delay,
                       std::int16_t& status, std::string& statusText) {
  if (!SendWithRetries(ctx, mp.ModemInitString, kInitWait, std::max(mp.Retries + 1, 1))) {
    status = kSendFailed;
    statusText = "MODEM: Error when sending " + mp.ModemInitString + "<CR> to modem.";
    return;
  }
  Delay(ctx.io, ctx.gsm.LongCommDelay);
  ctx.StatusText = "Calling Numeric Pager: " + number;
  if (!Call(ctx, mp, number, moCalling, code, delay)) {
    status = kSendFailed;
    statusText = kCallFailed;
    return;
  }
  status = kSent;
  // A code of pauses only names nothing that was sent.
  const std::size_t first = code.find_first_not_of(',');
  if (first != std::string::npos)
    statusText = "PAGER NUM: " + code.substr(first) + " sent to pager.";
}

}  // namespace

void WaitForPagerNumResponse(Varnel& ctx, std::int16_t delay, bool moCalling, bool& ok) {
  ok = false;
  Guarded(ctx, "WaitForPagerNumResponse", [&] {
    std::string buffer;
    bool refused = CollectInput(ctx, std::max<int>(delay, 0), buffer, [](std::string& b) {
      return b.find("BUSY") != std::string::npos || b.find("NO DIALTONE") != std::string::npos;
    });
    if (refused) {
      TraceResponse(ctx, "    Response: ", buffer);
      Delay(ctx.io, ctx.gsm.ShortCommDelay);
      return;
    }
    ok = true;
    const std::string hangUp = moCalling ? "AT+CHUP" : "ATH";
    WriteToModem(ctx, hangUp + "\r", hangUp + "<CR>");
    Delay(ctx.io, 2 * ctx.gsm.LongCommDelay);
    Delay(ctx.io, ctx.gsm.ShortCommDelay);
  });
}

void SendToPagerNum(Varnel& ctx, const std::string& number, const std::string& receiverName,
                    bool moCalling, const std::string& code, std::int16_t delay,
                    std::int16_t& status, std::string& statusText) {
  RunModemSession(ctx, "SendToPagerNum", [&](bool& inSession) {
    ModemParameters mp;
    GetModemParameters(ctx, mp);
    ModemTrace(ctx, SessionHeader(ctx, mp, number, receiverName, moCalling, code, delay));
    SetStatus(ctx, StatusStepCode::Sending, "Sending Init String to Modem");
    inSession = true;
    if (!OpenModemPort(ctx, mp.ModemSpeed, mp.ModemSettings, mp.CommPort)) {
      status = kSendFailed;
      statusText = PortOpenFailure(mp.CommPort);
    } else {
      SetRTS(ctx, true);
      InitialiseAndCall(ctx, mp, number, moCalling, code, delay, status, statusText);
    }
  });
}

}  // namespace varnel
