// The link that keeps a standby's database a copy of the primary's: the standby listens on
// the agent's port number over TCP; the primary connects, announces its archive in a header
// line, waits for "OK", sends the archive and closes. The standby then checks what arrived
// and puts the database in place of its own.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/database.h"
#include "service/varnel.h"

namespace varnel {

inline constexpr const char* kArchiveName = "Varnel.zip";
inline constexpr const char* kReceivedArchive = "Varnel.zip_bak";
inline constexpr const char* kStatusRemoteBackup = "Remote Backup Database ...";
inline constexpr const char* kStatusReplacing = "Remote Backup Service. Exit Console ...";
// A header line is short; a block this long without CR LF is not one.
inline constexpr std::size_t kMaxHeaderBytes = 256;

enum class HeaderParse { Incomplete, Invalid, Complete };

// The header line "name---length" CR LF at the start of block.
struct BackupHeader {
  std::string name;
  std::int64_t length = 0;  // 1 .. 2^31 - 1
  std::size_t size = 0;     // bytes of the line with its CR LF
};

// Incomplete while block holds no CR LF and is shorter than kMaxHeaderBytes; Invalid for a
// line without "---", or whose length is not 1 to 10 decimal digits of a positive 32-bit
// number.
HeaderParse ParseBackupHeader(std::string_view block, BackupHeader& out);

// "Varnel.zip---" length CR LF.
std::string BackupHeaderLine(std::int64_t length);

// Seconds the sender waits for the whole archive of length bytes to be taken.
std::int64_t BackupDeadlineSeconds(std::int64_t length);

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
