// An FTP client session over libcurl: login, stores into a remote directory, logout. The
// network steps run on a helper thread while the event loop keeps turning.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "service/varnel.h"

namespace varnel {

// The client's connection state once a login succeeded.
inline constexpr int kFtpLoggedIn = 2;

// Error numbers of the FTP session, in the classic numbering.
namespace err {
constexpr int kTimedOut = 10060;
constexpr int kFtpProtocol = 11101;  // the server refused a command
}  // namespace err

class FtpClient {
 public:
  explicit FtpClient(Varnel& ctx);
  ~FtpClient();  // a session still open is closed
  FtpClient(const FtpClient&) = delete;
  FtpClient& operator=(const FtpClient&) = delete;

  void SetBinary(bool binary) { binary_ = binary; }
  void SetPassive(bool passive) { passive_ = passive; }
  // Bounds every wait for the server (connecting, each reply, a stalled transfer).
  void SetTimeoutMs(long ms) { timeoutMs_ = ms; }
  // From now on the protocol lines are kept: "HH:MM:SS ---> " for sent lines and
  // "HH:MM:SS <--- " for received ones; the password is not written.
  void StartTrace() { tracing_ = true; }
  std::vector<std::string> TakeTrace();

  // Connects and logs in. Raises VarnelError with "Login Failed: ..." texts.
  void Login(const std::string& server, const std::string& user, const std::string& password,
             int port);
  int State() const { return state_; }
  // Stores the local file under name in remoteDir (relative to the login directory, or
  // absolute with a leading "/"). A store the server refuses counts as a failed transfer; a
  // session that fails raises VarnelError with "Put Failed: ...".
  void Put(const std::string& remoteDir, const std::string& localPath, const std::string& name);
  int FailedTransfers() const { return failed_; }
  // Ends the session (QUIT).
  void Logout();

  // libcurl's debug callback hands the protocol lines here.
  void OnProtocolData(bool sent, const char* data, std::size_t size);

 private:
  struct Handle;
  int Perform();
  std::string Describe(int code) const;

  Varnel& ctx_;
  std::unique_ptr<Handle> handle_;
  std::string base_;  // "ftp://host:port"
  bool binary_ = true, passive_ = true, tracing_ = false;
  long timeoutMs_ = 0;
  int state_ = 0;
  int failed_ = 0;
  std::string lastReply_;
  std::vector<std::string> trace_;
};

}  // namespace varnel
