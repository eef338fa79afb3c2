// State of delivery: the send list of the current cycle, the off-duty buffer list that lives
// for the whole service run, and the result record of a test message.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/slots.h"

namespace varnel {

constexpr int kMaxSendList = 100;
constexpr int kMaxBufferList = 50;

// Receiver types and the list names under which deliveries are recorded.
inline constexpr const char* kPhoneDA = "PhoneDA";
inline constexpr const char* kPhoneMO = "PhoneMO";
inline constexpr const char* kPagerAlfa = "PagerAlfa";
inline constexpr const char* kPagerNum = "PagerNum";
inline constexpr const char* kMailSMTP = "MailSMTP";
inline constexpr const char* kPopupNetSend = "PopupNetSend";

// Where each receiver type keeps its receivers, the column with the address and the table of
// the operators it names.
struct ReceiverKind {
  const char* type;
  const char* table;
  const char* address;
  const char* oper;           // nullptr: no operator (mail builds its server list separately)
  const char* operatorTable;  // where oper is looked up; nullptr without one
  bool buffers;               // the table has BufferMessages
};

inline constexpr ReceiverKind kReceiverKinds[] = {
    {kPhoneDA, "Recv_Phone_Dialup", "PhoneNumber", "Operator", "Settings_Oper_Phone_Dialup", true},
    {kPhoneMO, "Recv_Phone_MO", "PhoneNumber", "Operator", "Settings_Oper_Phone_MO", true},
    {kPagerAlfa, "Recv_Pager_Alfa", "PagerNumber", "Operator", "Settings_Oper_Pager_Alfa", true},
    {kPagerNum, "Recv_Pager_Num", "PagerNumber", nullptr, nullptr, true},
    {kMailSMTP, "Recv_Mail_SMTP", "MailAddress", nullptr, nullptr, false},
    {kPopupNetSend, "Recv_Popup_NETSEND", "WinAddress", nullptr, nullptr, false},
};

// The kind of a receiver type word; nullptr for a word that names none.
inline const ReceiverKind* FindReceiverKind(std::string_view type) {
  for (const ReceiverKind& k : kReceiverKinds)
    if (type == k.type) return &k;
  return nullptr;
}

inline constexpr const char* kSendList = "SendList";
inline constexpr const char* kBufferList = "BufferList";
inline constexpr const char* kTestMessage = "TestMessage";

// The result of one delivery, as RecvSendStatusInt, the alarm log and the status trap carry it.
enum SendStatusCode : std::int16_t {
  kNotSent = 0,  // not delivered yet
  kSent = 1,
  kUnconfirmed = 2,  // handed over, no confirmation
  kSendFailed = 3,
};

// One entry of the send list; an entry with an empty RecvName is free.
struct SendEntry {
  std::string RecvName;
  std::string RecvType;
  std::string RecvAddr;  // number, mail address, user name or program
  std::string RecvOper;  // operator, or the mail server list "primary;secondary"
  std::string RecvMess;
  bool RecvBuffMess = false;
  bool RecvPagerNumMoCall = false;
  std::string RecvPagerNumCode;
  std::int16_t RecvPagerNumDelay = 0;
  // Written by the transport (a SendStatusCode).
  std::int16_t RecvSendStatusInt = 0;
  std::string RecvSendStatus;

  bool Free() const { return RecvName.empty(); }
};

// One entry of the off-duty buffer list; an entry with an empty BufferRecvName is free.
struct BufferEntry {
  std::string BufferRecvName;
  std::string BufferRecvType;
  std::string BufferRecvAddr;
  std::string BufferRecvOper;
  std::string BufferRecvMess;
  bool BufferRecvPagerNumMoCall = false;
  std::string BufferRecvPagerNumCode;
  std::int16_t BufferRecvPagerNumDelay = 0;
  // The receiver's hour masks when the message was buffered, indexed by weekday
  // (0 = Sunday .. 6 = Saturday).
  std::array<std::int32_t, 7> BufferRecvDutyTime{};
  std::string BufferRecvDateAdded;  // "YYYY-MM-DD HH:MM:SS"
  std::int16_t BufferRecvSendStatusInt = 0;
  std::string BufferRecvSendStatus;

  bool Free() const { return BufferRecvName.empty(); }
};

// The single result record of a test message.
struct TestMessageResult {
  std::string Receiver;
  std::string Type;
  std::string Message;
  std::string StatusInt;  // the result code, held as text
  std::string Status;
};

struct DeliveryState {
  Slots<SendEntry, kMaxSendList> SendList;        // 1..100
  Slots<BufferEntry, kMaxBufferList> BufferList;  // 1..50
  TestMessageResult TestMessage;
};

}  // namespace varnel
