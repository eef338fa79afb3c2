#include "transports/tap.h"

#include "platform/event_loop.h"
#include "platform/text.h"
#include "service/errors.h"
#include "service/trace.h"
#include "transports/ansi_text.h"
#include "transports/modem.h"
#include "transports/paging_charset.h"

namespace varnel {
namespace {

constexpr char kStx = 2, kEtx = 3, kEot = 4, kAck = 6, kNak = 21, kEsc = 27;
const std::string kGoAhead = "\x1B[p\r";

// Seconds of the waits: the ID= prompt (three times), the logon answer, the go-ahead and
// the answer to the block (twice).
constexpr int kPromptWait = 3, kPromptTries = 3, kLogonWait = 10, kBlockWait = 30;
constexpr int kBlockTries = 2;

bool Has(const std::string& buffer, char c) { return buffer.find(c) != std::string::npos; }

// A time-out of a step: its trace and the status.
void TimedOut(Varnel& ctx, int step, const std::string& received, const std::string& oper,
              std::int16_t& status, std::string& statusText) {
  ModemTrace(ctx, {TraceTimestamp(ctx) + "    Response" + std::to_string(step) + " Time Out."});
  TraceResponse(ctx, "    Response: ", received);
  status = kSendFailed;
  statusText = UpperCase(oper) + ": Response Time Out.";
}

// Steps 1 to 4: the prompt, the logon and the go-ahead. Returns 0 when the centre is ready
// for the block, else the failed step's number (-1 for a rejected logon).
int Logon(Varnel& ctx, const std::string& logonId, const std::string& logonPassword,
          std::string& received) {
  SerialPort& port = ModemPort(ctx);
  bool prompted = false;
  for (int attempt = 0; attempt < kPromptTries && !prompted; ++attempt) {
    WriteToModem(ctx, "\r", "<CR>");
    prompted = CollectInput(ctx, kPromptWait, received, [](const std::string& b) {
      return b.find("ID=") != std::string::npos;
    });
  }
  if (!prompted) return 1;
  TraceResponse(ctx, "    Response: ", received);
  port.DiscardInput();
  received.clear();
  Delay(ctx.io, ctx.gsm.ShortCommDelay);
  const std::string id = logonId.empty() ? "PG1" : logonId;
  WriteToModem(ctx, std::string(1, kEsc) + ToAnsiBytes(id + logonPassword) + "\r",
               "<ESC>" + id + logonPassword + "<CR>");
  bool answered = CollectInput(ctx, kLogonWait, received,
                               [](const std::string& b) { return Has(b, kAck) || Has(b, kNak); });
  if (!answered) return 2;
  TraceResponse(ctx, "    Response: ", received);
  if (!Has(received, kAck)) return -1;
  // The go-ahead often comes with the ACK, so what followed it counts.
  received.erase(0, received.find(kAck) + 1);
  if (!CollectInput(ctx, kLogonWait, received,
                    [](const std::string& b) { return b.find(kGoAhead) != std::string::npos; }))
    return 3;
  return 0;
}

}  // namespace

std::string TapBlock(const std::string& number, const std::string& text, bool confirmed) {
  std::string block = std::string(1, kStx) + ToAnsiBytes(number) + "\r" + text +
                      (confirmed ? ")#*&(C" : "") + "\r" + std::string(1, kEtx);
  unsigned sum = 0;
  for (char c : block) sum += static_cast<unsigned char>(c);
  sum %= 4096;
  block += static_cast<char>('0' + sum / 256);
  block += static_cast<char>('0' + (sum % 256) / 16);
  block += static_cast<char>('0' + sum % 16);
  return block + "\r";
}

std::int16_t TapBlockReply(const std::string& received, std::string& text) {
  text = Trim(IA5IntTAP_Rev(received));
  if (Has(received, kAck)) return kSent;
  return Has(received, kNak) ? kSendFailed : kNotSent;
}

void SendMessage_TAP(Varnel& ctx, const std::string& block, const std::string& logonId,
                     const std::string& logonPassword, const std::string& oper,
                     std::int16_t& status, std::string& statusText) {
  bool done = Guarded(ctx, "SendMessage_TAP", [&] {
    SerialPort& port = ModemPort(ctx);
    const std::string name = UpperCase(oper);
    ctx.StatusText = "Logon in progress...";
    std::string received;
    int failed = Logon(ctx, logonId, logonPassword, received);
    if (failed == -1) {
      status = kSendFailed;
      statusText = name + ": Login rejected.";
      return;
    }
    if (failed > 0) return TimedOut(ctx, failed, received, oper, status, statusText);

    ctx.StatusText = "Sending message...";
    port.DiscardInput();
    Delay(ctx.io, ctx.gsm.LongCommDelay);
    std::string reply;
    std::int16_t answer = kNotSent;
    for (int attempt = 0; attempt < kBlockTries && answer == kNotSent; ++attempt) {
      received.clear();
      WriteToModem(ctx, block, FromWire(TranslateControlCodes(block)));
      CollectInput(ctx, kBlockWait, received, [&](const std::string& b) {
        return (answer = TapBlockReply(b, reply)) != kNotSent;
      });
    }
    if (answer == kNotSent) return TimedOut(ctx, 4, received, oper, status, statusText);
    TraceResponse(ctx, "    Response: ", received);
    status = answer;
    statusText = name + ": " + reply;
    WriteToModem(ctx, std::string(1, kEot) + "\r", "<EOT><CR>");
    Delay(ctx.io, 2 * ctx.gsm.ShortCommDelay);
  });
  if (!done) {
    status = kSendFailed;
    statusText = "ERROR: Module SendMessage_TAP.";
  }
}

}  // namespace varnel
