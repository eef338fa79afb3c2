#include "service/clear_tables.h"

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

void ClearTestMessageDb(Varnel& ctx) {
  DeleteAllRows(ctx, "ClearTestMessageDb", "Receiver_Test");
}

}  // namespace varnel
