#include "transports/ucp.h"

#include "platform/event_loop.h"
#include "platform/text.h"
#include "service/errors.h"
#include "service/trace.h"
#include "transports/ansi_text.h"
#include "transports/gsm_charset.h"
#include "transports/modem.h"
#include "transports/paging_charset.h"

namespace varnel {
namespace {

constexpr char kStx = 2, kEtx = 3;
// Seconds the centre gets to answer operation 01, operation 30 and to notify.
constexpr int kReply01Wait = 15, kReply30Wait = 30, kNotificationWait = 30;
// The packet assembler's prompt waits.
constexpr int kPadPromptWait = 10, kPadSecondPromptWait = 5;
// Characters of a reply shown in a status text (the alarm log keeps fewer).
constexpr long kShownReplyChars = 200;

struct UcpError {
  const char* code;
  const char* text;
};
constexpr UcpError kErrors[] = {{"01", "Checksum error."},
                                {"02", "Syntax error."},
                                {"03", "Operation not supported by system."},
                                {"04", "Operation not allowed."},
                                {"05", "Call barring active."},
                                {"06", "Receiver number invalid."},
                                {"07", "Authentication failure."}};

// The centre's words in a positive reply of operation 30.
struct DeliveryWord {
  const char* word;
  std::int16_t status;
  const char* text;
};
constexpr DeliveryWord kDeliveryWords[] = {
    {"ATTEMPTED DELIVERED", kSent, "Message delivered to receiver."},
    {"NOT DELIVERED REASON:", kUnconfirmed,
     "No contact with receiver. New attempts will be done by Service Center."},
    {"NOT_ATTEMPTED REASON:", kSendFailed, "Message can not be delivered by Service Center."}};

std::string Printable(const std::string& reply) {
  return LeftChars(FromWire(TranslateControlCodes(reply)), kShownReplyChars);
}

// Characters from..from+n-1 (1-based) of a reply, fewer at its end.
std::string Mid(const std::string& s, std::size_t from, std::size_t n) {
  return from - 1 < s.size() ? s.substr(from - 1, n) : "";
}

// The frame text between STX and ETX with its LEN filled in and its checksum added.
std::string Framed(const std::string& afterLen) {
  std::string len = std::to_string(3 + 5 + afterLen.size() + 2);
  std::string body =
      "01/" + std::string(5 - std::min<std::size_t>(5, len.size()), '0') + len + afterLen;
  return kStx + body + UcpChecksum(body) + kEtx;
}

// Writes the frame and waits timeout seconds for a reply frame; false after a time-out.
bool Exchange(Varnel& ctx, const std::string& frame, int timeout, std::string& received,
              std::string& reply) {
  WriteToModem(ctx, frame, FromWire(TranslateControlCodes(frame)));
  received.clear();
  return CollectInput(ctx, timeout, received,
                      [](const std::string& b) { return b.find(kEtx) != std::string::npos; }) &&
         UcpTakeFrame(received, reply);
}

void ResponseTimeOut(Varnel& ctx, const char* label, const std::string& oper, std::int16_t& status,
                     std::string& statusText) {
  ModemTrace(ctx, {TraceTimestamp(ctx) + "    " + label + " Time Out."});
  status = kSendFailed;
  statusText = UpperCase(oper) + ": Response Time Out.";
}

// The run-time error path of every engine.
void Engine(Varnel& ctx, const char* name, std::int16_t& status, std::string& statusText,
            const std::function<void()>& body) {
  if (!Guarded(ctx, name, body)) {
    status = kSendFailed;
    statusText = std::string("ERROR: Module ") + name + ".";
  }
}

void Send01(Varnel& ctx, const std::string& frame, const std::string& oper, std::int16_t& status,
            std::string& statusText) {
  std::string received, reply;
  if (!Exchange(ctx, frame, kReply01Wait, received, reply))
    return ResponseTimeOut(ctx, "Response", oper, status, statusText);
  TraceResponse(ctx, "    Response: ", reply);
  status = UcpReplyStatus(reply, oper, statusText);
  if (status == kSent) statusText = UpperCase(oper) + ": Message sent to receiver.";
}

}  // namespace

bool UcpTakeFrame(std::string& buffer, std::string& frame) {
  std::size_t etx = buffer.find(kEtx);
  if (etx == std::string::npos) return false;
  std::size_t stx = buffer.rfind(kStx, etx);
  const std::size_t start = stx == std::string::npos ? 0 : stx;
  frame = buffer.substr(start, etx + 1 - start);
  buffer.erase(0, etx + 1);
  return true;
}

bool UcpNotification(const std::string& frame, std::string& trn, std::string& hex) {
  std::size_t at = frame.find("//3/");
  if (at == std::string::npos) return false;
  std::size_t start = frame.find(kStx) == std::string::npos ? 0 : frame.find(kStx) + 1;
  trn = frame.substr(start, frame.find('/', start) - start);
  std::size_t end = frame.find_first_of(std::string("/") + kEtx, at + 4);
  hex = frame.substr(at + 4, end - at - 4);
  return true;
}

std::string UcpChecksum(const std::string& text) {
  unsigned sum = 0;
  for (char c : text) sum = (sum + static_cast<unsigned char>(c)) % 256;
  return Hex2(sum);
}

std::string UcpFrame01(const std::string& number, const std::string& originator,
                       const std::string& code, const std::string& hexText) {
  return Framed("/O/01/" + ToAnsiBytes(number) + "/" + ToAnsiBytes(originator) + "/" +
                ToAnsiBytes(code) + "/3/" + hexText + "/");
}

std::string UcpFrame30(const std::string& number, const std::string& originator,
                       const std::string& code, bool notify, const std::string& hexText) {
  return Framed("/O/30/" + ToAnsiBytes(number) + "/" + ToAnsiBytes(originator) + "/" +
                ToAnsiBytes(code) + (notify ? "/1//////" : "/0//////") + hexText + "/");
}

std::string UcpNotificationAck(const std::string& trn) {
  std::string body = trn + "/00019/R/01/A//";
  return kStx + body + UcpChecksum(body) + kEtx;
}

std::int16_t UcpReplyStatus(const std::string& reply, const std::string& oper,
                            std::string& statusText) {
  if (Mid(reply, 16, 1) == "A") return kSent;
  const std::string code = Mid(reply, 18, 2);
  statusText = UpperCase(oper) + ": Error[" + FromWire(code) + "] " + Printable(reply);
  for (const UcpError& e : kErrors)
    if (code == e.code) statusText = UpperCase(oper) + ": Error[" + code + "] " + e.text;
  return kSendFailed;
}

std::int16_t Ucp30DeliveryStatus(const std::string& reply, const std::string& oper,
                                 std::string& statusText) {
  for (const DeliveryWord& w : kDeliveryWords) {
    if (reply.find(w.word) == std::string::npos) continue;
    statusText = UpperCase(oper) + ": " + w.text;
    return w.status;
  }
  statusText = UpperCase(oper) + ": " + Printable(reply);
  return kNotSent;
}

void SendMessage_UCP_01(Varnel& ctx, const std::string& frame, const std::string& oper,
                        std::int16_t& status, std::string& statusText) {
  Engine(ctx, "SendMessage_UCP_01", status, statusText,
         [&] { Send01(ctx, frame, oper, status, statusText); });
}

void SendMessage_UCP_01_PAD(Varnel& ctx, const std::string& frame, const std::string& oper,
                            std::int16_t& status, std::string& statusText) {
  Engine(ctx, "SendMessage_UCP_01_PAD", status, statusText, [&] {
    auto prompt = [](const std::string& b) { return b.find('*') != std::string::npos; };
    ctx.StatusText = "Logon PAD in progress...";
    std::string received;
    CollectInput(ctx, kPadPromptWait, received, prompt);
    WriteToModem(ctx, "...\r", "...<CR>");
    received.clear();
    CollectInput(ctx, kPadSecondPromptWait, received, prompt);
    WriteToModem(ctx, "ACCESS MINICALLUCP\r", "ACCESS MINICALLUCP<CR>");
    ctx.StatusText = "Sending message...";
    Send01(ctx, frame, oper, status, statusText);
  });
}

void SendMessage_UCP_30_NoConf(Varnel& ctx, const std::string& frame, const std::string& oper,
                               std::int16_t& status, std::string& statusText) {
  Engine(ctx, "SendMessage_UCP_30_NoConf", status, statusText, [&] {
    std::string received, reply;
    if (!Exchange(ctx, frame, kReply30Wait, received, reply))
      return ResponseTimeOut(ctx, "Response", oper, status, statusText);
    TraceResponse(ctx, "    Response: ", reply);
    status = UcpReplyStatus(reply, oper, statusText);
    if (status != kSent) return;
    status = Ucp30DeliveryStatus(reply, oper, statusText);
    if (status == kNotSent) status = kUnconfirmed;
  });
}

void SendMessage_UCP_30_Conf(Varnel& ctx, const std::string& frame, const std::string& oper,
                             std::int16_t& status, std::string& statusText) {
  Engine(ctx, "SendMessage_UCP_30_Conf", status, statusText, [&] {
    const std::string name = UpperCase(oper);
    std::string received, reply;
    if (!Exchange(ctx, frame, kReply30Wait, received, reply)) {
      ModemTrace(ctx, {TraceTimestamp(ctx) + "    Response1 Time Out."});
      status = kUnconfirmed;
      statusText = name + ": Response1 Time Out.";
      return;
    }
    TraceResponse(ctx, "    Response1: ", reply);
    status = UcpReplyStatus(reply, oper, statusText);
    if (status != kSent) return;
    status = Ucp30DeliveryStatus(reply, oper, statusText);
    if (status != kNotSent) return;
    // The notification is the next frame that carries a message; other frames are skipped.
    std::string trn, hex, notification;
    bool notified = CollectInput(ctx, kNotificationWait, received, [&](std::string& b) {
      while (UcpTakeFrame(b, notification))
        if (UcpNotification(notification, trn, hex)) return true;
      return false;
    });
    if (!notified) {
      ModemTrace(ctx, {TraceTimestamp(ctx) + "    Response2 Time Out."});
      status = kUnconfirmed;
      statusText = name + ": Delivery status unknown.";
      return;
    }
    TraceResponse(ctx, "    Response2: ", notification);
    status = kSent;
    statusText = name + ": " + IA5IntUCP_Rev(hex);
    const std::string ack = UcpNotificationAck(trn);
    WriteToModem(ctx, ack, FromWire(TranslateControlCodes(ack)));
  });
}

}  // namespace varnel
