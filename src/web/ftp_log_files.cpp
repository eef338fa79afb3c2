#include "web/ftp_log_files.h"

#include "platform/event_loop.h"
#include "platform/files.h"
#include "service/errors.h"
#include "service/trace.h"
#include "web/log_pages.h"

namespace varnel {
namespace {

// Wait before each login attempt.
constexpr int kLoginPauseMs = 100;

struct FtpSettings {
  bool TransferLogFiles = false;
  std::string FtpServer;
  int FtpPort = 0;
  std::string UserName, Password2;
  bool PassiveTransfer = false;
  std::string TransferMode;
  long TimeOut = 0;
  int Retries = 0;
  std::string RemoteDir;
};

FtpSettings ReadFtpSettings(Varnel& ctx) {
  Database db = OpenDatabase(ctx);
  Table t = db.Open("LogFiles_WebServer");
  FtpSettings s;
  s.TransferLogFiles = t.Flag("TransferLogFiles");
  if (!s.TransferLogFiles) return s;
  s.FtpServer = t.Text("FtpServer");
  s.FtpPort = t.Int32("FtpPort");  // ports past 32767 are ports too
  s.UserName = t.Text("UserName");
  s.Password2 = t.Text("Password2");
  s.PassiveTransfer = t.Flag("PassiveTransfer");
  s.TransferMode = t.Text("TransferMode");
  s.TimeOut = t.Int16("TimeOut");
  s.Retries = t.Int16("Retries");
  s.RemoteDir = t.Text("RemoteDir");
  return s;
}

// Appends what the client traced since the last call; a failing write is reported under the
// procedure that traced.
void FlushTrace(Varnel& ctx, FtpClient& ftp, const char* procedure) {
  Guarded(ctx, procedure, [&] {
    std::vector<std::string> lines = ftp.TakeTrace();
    if (!lines.empty()) WriteTrace(ctx, TraceCategory::FtpCommunication, trace::kFtpPut, lines);
  });
}

}  // namespace

void FtpDoLogin(Varnel& ctx, FtpClient& ftp, const std::string& server, int port,
                const std::string& user, const std::string& password) {
  Guarded(ctx, "FtpDoLogin", [&] {
    if (TraceEnabled(ctx, TraceCategory::FtpCommunication)) ftp.StartTrace();
    if (server.empty() || user.empty() || password.empty() || port <= 0 || port > 65535)
      throw VarnelError(err::kFtpProtocol, "Login Failed: Missing connection information.");
    Delay(ctx.io, kLoginPauseMs);
    ftp.Login(server, user, password, port);
  });
  FlushTrace(ctx, ftp, "FtpDoLogin");
}

void FtpDoPut(Varnel& ctx, FtpClient& ftp, const std::string& remoteDir) {
  Guarded(ctx, "FtpDoPut", [&] {
    for (const char* page : kWebPages) {
      const std::string local = ctx.Path(std::string(kWebDir) + "/" + page);
      if (FileExists(local)) ftp.Put(remoteDir, local, page);
    }
    if (ftp.FailedTransfers() > 0)
      throw VarnelError(err::kFtpProtocol,
                        "Transfer Failed: " + std::to_string(ftp.FailedTransfers()) + " Errors.");
  });
  FlushTrace(ctx, ftp, "FtpDoPut");
}

void FtpDoLogout(Varnel& ctx, FtpClient& ftp) {
  Guarded(ctx, "FtpDoLogout", [&] { ftp.Logout(); });
  FlushTrace(ctx, ftp, "FtpDoLogout");
}

void FtpLogFiles(Varnel& ctx) {
  Guarded(ctx, "FtpLogFiles", [&] {
    const FtpSettings s = ReadFtpSettings(ctx);
    if (!s.TransferLogFiles) return;
    FtpClient ftp(ctx);
    ftp.SetBinary(s.TransferMode == "Binary");  // exact: "binary" selects ASCII
    ftp.SetPassive(s.PassiveTransfer);
    ftp.SetTimeoutMs(s.TimeOut * 1000);
    for (int attempt = 1; attempt <= s.Retries; ++attempt) {
      FtpDoLogin(ctx, ftp, s.FtpServer, s.FtpPort, s.UserName, s.Password2);
      if (ftp.State() == kFtpLoggedIn) break;
    }
    if (ftp.State() != kFtpLoggedIn) return;
    FtpDoPut(ctx, ftp, s.RemoteDir);
    FtpDoLogout(ctx, ftp);
  });
}

}  // namespace varnel
