// The send list: the receivers of the matched groups with everything their transports need,
// and the off-duty buffer for receivers that are not on duty now.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>

#include "platform/database.h"
#include "service/varnel.h"

namespace varnel {

// What GetSendParameters finds out about a receiver. The other fields are to be used only
// when Valid is true.
struct ReceiverParameters {
  std::string Addr;
  std::string Oper;
  bool BuffMess = false;
  bool PagerNumMoCall = false;
  std::string PagerNumCode;
  std::int16_t PagerNumDelay = 0;
  bool Valid = false;  // found, enabled and on duty now
};

// The receiver tables on one connection, for callers that look up many receivers in a row:
// each table is opened once and the first row of every name found once.
class ReceiverTables {
 public:
  explicit ReceiverTables(Database& db) : db_(db) {}
  // The table positioned on the first row named name; nullptr when there is none.
  Table* Find(const std::string& table, const std::string& name);

 private:
  struct Indexed {
    Table table;
    std::unordered_map<std::string, std::size_t> first;  // name -> row position
  };
  Database& db_;
  std::map<std::string, Indexed> tables_;
};

// Entry e of the send list for a valid receiver and its message.
void FillSendEntry(SendEntry& e, const std::string& receiverName, const std::string& receiverType,
                   const std::string& message, const ReceiverParameters& p);

// Whether the table of the receiver type has a receiver of that name (enabled or not).
bool ReceiverExists(ReceiverTables& tables, const std::string& receiverName,
                    const std::string& receiverType);

// The receiver types in the order of their tables, and the table of a type (nullptr for a
// word that is no receiver type).
inline constexpr const char* kReceiverTypes[] = {kPhoneDA,  kPhoneMO,  kPagerAlfa,
                                                 kPagerNum, kMailSMTP, kPopupNetSend};
const char* ReceiverTable(const std::string& type);
// What a transport needs of the receiver on the current row of the table of its type:
// address, operator or mail server list, buffering and numeric pager options. Valid stays
// false; enabling and duty are the caller's to judge.
ReceiverParameters ReadReceiverRow(Table& t, const std::string& type);

// Looks the receiver up in the table of its type. An off-duty receiver that buffers gets the
// message into the buffer list. Opens its own connection.
ReceiverParameters GetSendParameters(Varnel& ctx, const std::string& message,
                                     const std::string& receiverName,
                                     const std::string& receiverType);
// The same in tables that the caller holds open.
ReceiverParameters GetSendParameters(Varnel& ctx, ReceiverTables& tables,
                                     const std::string& message, const std::string& receiverName,
                                     const std::string& receiverType);

// Builds the send list from the matched support group table.
void MakeSendList(Varnel& ctx);
// Builds the send list from the hold group table.
void MakeSendList_Hq(Varnel& ctx);

}  // namespace varnel
