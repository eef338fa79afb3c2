// The role of an installation with a remote backup: primary or backup system.
#pragma once
#include <string>

#include "platform/database.h"
#include "service/varnel.h"

namespace varnel {

// Decides the role from the open Settings_General row g (RemoteBackup on): the ini switch
// when Varnel.ini exists, otherwise whether BackupAddress is this machine's. Writes the
// role entry and sets IsPrimary.
std::string OpenBackupServer(Varnel& ctx, Table& g);

// True when address is one of this machine's interface addresses.
bool IsLocalAddress(const std::string& address);

}  // namespace varnel
