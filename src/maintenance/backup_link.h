// The link that keeps a standby's database a copy of the primary's: the standby listens on
// the agent's port number over TCP; the primary connects, announces its archive in a header
// line, waits for "OK", sends the archive and closes. The standby then checks what arrived
// and puts the database in place of its own.
#pragma once
#include <string>

#include "maintenance/backup_header.h"
#include "platform/database.h"
#include "service/varnel.h"

namespace varnel {

inline constexpr const char* kReceivedArchive = "Varnel.zip_bak";
inline constexpr const char* kStatusRemoteBackup = "Remote Backup Database ...";
inline constexpr const char* kStatusReplacing = "Remote Backup Service. Exit Console ...";

// Standby: listens on address and the agent's UdpPort number over TCP; serves only
// PrimaryAddress when it is set. Raises socket errors (10048, 10049) to the caller.
void OpenBackupListener(Varnel& ctx, Table& general);
void CloseBackupListener(Varnel& ctx);

// Primary: sends the database to the standby when RemoteBackup is on.
void SendMdbToBkSrv(Varnel& ctx);

// Standby: puts the received archive's database in place of the live one, when the archive
// has the announced length and its database passes the check. The swap is one rename.
void ReplaceDatabase(Varnel& ctx);

}  // namespace varnel
