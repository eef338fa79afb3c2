#include "service/clear_tables.h"

#include "platform/files.h"
#include "service/errors.h"

namespace varnel {
namespace {

void DeleteAllRows(Varnel& ctx, const char* procedure, const char* table) {
  Guarded(ctx, procedure, [&] {
    Database db = OpenDatabase(ctx);
    Table t = db.Open(table);
    while (!t.Eof()) {
      t.Delete();
      t.MoveNext();
    }
  });
}

}  // namespace

void ClearInfoMessageDb(Varnel& ctx) {
  DeleteAllRows(ctx, "ClearInfoMessageDb", "SuppGrp_SendMess");
}

void ClearTestMessageDb(Varnel& ctx) { DeleteAllRows(ctx, "ClearTestMessageDb", "Receiver_Test"); }

void ResetDropFilesAndMessages(Varnel& ctx) {
  for (const char* f : {"Event.log", "SmtpMess.log", "SnmpMess.log", "SmsCmd.log"})
    DeleteFile(ctx.Path(f));
  ctx.ListenerStatus[kLsLogFile] = ListenerStatusCode::Started;
  ClearTestMessageDb(ctx);
  ClearInfoMessageDb(ctx);
  for (const char* f : {"Hold_Queue.log", "ReqAck.log"}) DeleteFile(ctx.Path(f));
  ctx.ReqAckIdCounter = 900;
}

}  // namespace varnel
