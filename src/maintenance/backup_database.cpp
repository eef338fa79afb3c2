#include "maintenance/backup_database.h"

#include "maintenance/backup_link.h"
#include "platform/database_copy.h"
#include "service/errors.h"

namespace varnel {
namespace {

bool BackupDue(Varnel& ctx) {
  Database db = OpenDatabase(ctx);
  Table g = db.Open("Settings_General");
  return g.Flag("BackupVarnel") && g.Int16("BackupHour") == ctx.clock.Now().hour;
}

}  // namespace

std::string WeekdayCopyName(int weekday) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  return std::string("Backup/Varnel_") + kDays[((weekday % 7) + 7) % 7] + ".mdb";
}

void BackupDatabase(Varnel& ctx) {
  Guarded(ctx, "BackupDatabase", [&] {
    if (!BackupDue(ctx)) return;
    SetStatus(ctx, StatusStepCode::Maintenance, kStatusBackup);
    // A snapshot through the backup API replaces last week's copy in one rename; the
    // database is never copied as a file that may be half written.
    const std::string live =
        ctx.ConnectionString.empty() ? ctx.DatabasePath() : ctx.ConnectionString;
    CopyDatabase(live, ctx.Path(WeekdayCopyName(ctx.clock.Now().weekday)));
    SendMdbToBkSrv(ctx);  // the standby gets the fresh database too
  });
}

}  // namespace varnel
