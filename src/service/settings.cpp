#include "service/settings.h"

#include "service/errors.h"

namespace varnel {

void ReadDb_Updates(Varnel& ctx) {
  Guarded(ctx, "ReadDb_Updates", [&] {
    Database db = OpenDatabase(ctx);
    {
      Table t = db.Open("Event_CheckInterval");
      ctx.CheckInterval = t.Int16("CheckInterval");
    }
    Table g = db.Open("Settings_General");
    ctx.DebugMode = g.Text("DebugMode");
    ctx.BufferAllMessOffDuty = g.Flag("BufferAllMessOffDuty");
    ctx.NotifyDutyListOnOff = g.Flag("NotifyDutyListOnOff");
  });
}

}  // namespace varnel
