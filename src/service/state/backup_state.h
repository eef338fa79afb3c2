// State of the link between a primary and its standby: what the sender and the receiver of
// the database transfer know between their socket events.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varnel {

class BackupListener;
class BackupClient;

struct BackupState {
  // Sender.
  std::vector<char> BackupTxBuffer;  // the whole archive
  std::int64_t BackupTxCount = 0;    // archive bytes written since the standby answered "OK"
  std::string BackupRxReply;         // the standby's reply up to its first CR LF
  std::shared_ptr<BackupClient> client;
  // RemoteBackup as last read; cleared when the settings are read again, so that a primary
  // without a standby does not read it every cycle.
  std::optional<bool> RemoteBackupKept;

  // Receiver.
  std::int64_t BackupRxPosition = 0;  // 0 = header expected, else 1-based write position
  std::int64_t BackupRxExpectedLength = 0;
  std::string PrimaryAddress;  // the only peer served when set
  std::shared_ptr<BackupListener> listener;
};

}  // namespace varnel
