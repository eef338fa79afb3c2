#include "delivery/process_send_list.h"

#include <algorithm>

#include "delivery/alarm_log.h"
#include "service/errors.h"
#include "transports/mail_smtp.h"
#include "transports/net_send.h"
#include "transports/pager_num.h"
#include "transports/paging.h"
#include "transports/phone_mo.h"

namespace varnel {
namespace {

constexpr std::string_view kAckPrefixStart = "<ID=";
constexpr std::size_t kAckPrefixBytes = 9;  // "<ID=", three digits and "> "

void DeliverMail(Varnel& ctx, SendEntry& e) {
  SendMailSMTP(ctx, e.RecvOper, e.RecvName, e.RecvAddr, e.RecvMess, e.RecvSendStatusInt,
               e.RecvSendStatus);
}

void DeliverNetSend(Varnel& ctx, SendEntry& e) {
  NetSend(ctx, e.RecvName, e.RecvAddr, e.RecvMess, e.RecvSendStatusInt, e.RecvSendStatus);
}

// Records one attempt of entry i.
void Record(Varnel& ctx, int i) {
  UpdateAlarmLog(ctx, i, kSendList);
  ForwardSendStatus(ctx, i, kSendList);
}

}  // namespace

void DeliverSendEntry(Varnel& ctx, SendEntry& e) {
  const std::string& type = e.RecvType;
  if (type == kMailSMTP) {
    DeliverMail(ctx, e);
  } else if (type == kPopupNetSend) {
    DeliverNetSend(ctx, e);
  } else if (type == kPhoneMO) {
    SendToPhoneMO(ctx, e.RecvOper, e.RecvAddr, e.RecvName, e.RecvMess, e.RecvSendStatusInt,
                  e.RecvSendStatus);
  } else if (type == kPhoneDA || type == kPagerAlfa) {
    SendToPhoneDA_PagerAlfa(ctx, type, e.RecvOper, e.RecvAddr, e.RecvName, e.RecvMess,
                            e.RecvSendStatusInt, e.RecvSendStatus);
  } else if (type == kPagerNum) {
    SendToPagerNum(ctx, e.RecvAddr, e.RecvName, e.RecvPagerNumMoCall, e.RecvPagerNumCode,
                   e.RecvPagerNumDelay, e.RecvSendStatusInt, e.RecvSendStatus);
  }
  // Any other type has no transport: the attempt is recorded as kNotSent with no text.
}

std::vector<std::string> SplitGroupText(const std::string& text, int maxMessages) {
  std::string prefix;
  std::string_view rest = text;
  // The acknowledgement prefix opens the text; every piece carries it.
  if (rest.substr(0, kAckPrefixStart.size()) == kAckPrefixStart) {
    prefix = text.substr(0, kAckPrefixBytes);
    rest.remove_prefix(std::min(kAckPrefixBytes, rest.size()));
  }
  std::vector<std::string> pieces;
  for (std::size_t pos = 0;;) {
    if (maxMessages >= 1 && pieces.size() == static_cast<std::size_t>(maxMessages)) break;
    std::size_t end = rest.find(">>", pos);
    pieces.push_back(prefix + std::string(rest.substr(pos, end - pos)));
    if (end == std::string_view::npos) break;
    pos = end + 2;
  }
  return pieces;
}

void ProcessSendList(Varnel& ctx, Transport deliver) {
  auto& list = ctx.delivery.SendList;
  if (std::all_of(list.begin(), list.end(), [](const SendEntry& e) { return e.Free(); })) return;
  Guarded(ctx, "ProcessSendList", [&] {
    bool oneMessOneEvent;
    int maxMessages;
    {
      Database db = OpenDatabase(ctx);
      Table t = db.Open("Event_CheckInterval");
      oneMessOneEvent = t.Flag("OneMessOneEvent");
      maxMessages = t.Int16("MaxMessages");
    }
    for (int i = 1; i <= kMaxSendList; ++i) {
      SendEntry& e = list[static_cast<std::size_t>(i)];
      if (e.Free()) continue;
      if (!oneMessOneEvent || e.RecvMess.find(">>") == std::string::npos) {
        deliver(ctx, e);
        Record(ctx, i);
        continue;
      }
      for (std::string& piece : SplitGroupText(e.RecvMess, maxMessages)) {
        e.RecvMess = std::move(piece);
        deliver(ctx, e);
        Record(ctx, i);
      }
    }
  });
}

void ProcessSendList(Varnel& ctx) { ProcessSendList(ctx, DeliverSendEntry); }

}  // namespace varnel
