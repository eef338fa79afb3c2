// Fuzzes the acknowledgement and SMS command files: the same bytes as "ReqAck.log" (with a
// group "g" whose reminders go to a recording transport), as "SmsCmd.log" and as the reply
// file. Checks that every line the reminder run writes back reads again as an entry.
#include <cstdint>
#include <cstdlib>

#include "delivery/req_ack.h"
#include "delivery/sms_cmd.h"
#include "platform/database.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/program_home.h"

namespace {

struct Home : varnel::testing::ProgramHome {
  Home() {
    varnel::Database(ctx.DatabasePath())
        .Exec(
            "INSERT INTO Recv_Phone_MO (Name, Enabled, PhoneNumber, DutyTimeSat) VALUES "
            "('Ops', 1, '46700', 16777215); "
            "INSERT INTO SuppGrp_Perm (Name, RecvName1, RecvType1, ReqAckWait) VALUES "
            "('g', 'Ops', 'PhoneMO', 5)");
  }
};

void Record(varnel::Varnel&, varnel::SendEntry& e) { e.RecvSendStatusInt = varnel::kSent; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Home home;
  varnel::Varnel& ctx = home.ctx;
  for (const char* name : {"ReqAck.log", "SmsCmd.log", "ExecProg/reply.sms"})
    varnel::testing::WriteBytes(ctx.Path(name), data, size);
  // Lines past the fiftieth are kept unread, so only shorter files are checked.
  const bool whole = varnel::ReadLines(ctx.Path("ReqAck.log")).size() <=
                     static_cast<std::size_t>(varnel::kMaxReqAckEntries);
  varnel::ProcessReqAckLog(ctx, Record);
  if (whole && varnel::FileExists(ctx.Path("ReqAck.log"))) {
    varnel::ReqAckEntry e;
    for (const std::string& line : varnel::ReadLines(ctx.Path("ReqAck.log")))
      if (!varnel::ParseReqAckEntry(varnel::FromWire(line), e)) std::abort();
  }
  varnel::ProcessSmsCmd(ctx);
  std::string reply;
  varnel::ProcessSmsReply(ctx, reply);
  for (const char* name : {"ReqAck.log", "SmsCmd.log", "Event.log"})
    if (varnel::FileExists(ctx.Path(name))) varnel::DeleteFile(ctx.Path(name));
  return 0;
}
