// The daily copy of the database: one copy per weekday in the Backup directory.
#pragma once
#include <string>

#include "service/varnel.h"

namespace varnel {

inline constexpr const char* kStatusBackup = "Backup Database ...";

// "Backup/Varnel_Sun.mdb" .. "Backup/Varnel_Sat.mdb" for weekday 0 (Sunday) .. 6.
std::string WeekdayCopyName(int weekday);

// Copies the database over the copy of today's weekday when BackupVarnel is on and the
// current hour is BackupHour. The hourly step calls it, so the copy is made once a day.
void BackupDatabase(Varnel& ctx);

}  // namespace varnel
