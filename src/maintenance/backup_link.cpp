#include "maintenance/backup_link.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <memory>

#include "maintenance/backup_archive.h"
#include "platform/database_copy.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/tcp_listener.h"
#include "platform/text.h"
#include "platform/udp_listener.h"
#include "service/date_format.h"
#include "service/errors.h"
#include "service/trace.h"

namespace varnel {

using asio::ip::tcp;

namespace {

constexpr const char* kStatusIdle = "Countdown for next check ...";
constexpr const char* kReceivedDatabase = "Varnel.mdb.received";
constexpr const char* kSnapshot = "Backup/Varnel.mdb";
constexpr int kStateConnected = 7;  // socket states as the traces print them
constexpr std::size_t kSendBlock = 65536;
constexpr int kSendSliceMs = 500;
constexpr int kReplaceRetryMs = 100;

void TraceServer(Varnel& ctx, const std::vector<std::string>& lines) {
  WriteTrace(ctx, TraceCategory::RemoteBackup, trace::kBackupServer, lines);
}

void TraceClient(Varnel& ctx, const std::vector<std::string>& lines) {
  WriteTrace(ctx, TraceCategory::RemoteBackup, trace::kBackupClient, lines);
}

std::vector<std::string> EventLines(Varnel& ctx, const std::string& link,
                                    const std::string& handler, bool newTransfer = false) {
  auto lines = SocketEventLines(ctx, link, handler, kStateConnected, newTransfer);
  if (newTransfer) lines.insert(lines.begin(), "");
  return lines;
}

std::string LiveDatabase(const Varnel& ctx) {
  return ctx.ConnectionString.empty() ? ctx.DatabasePath() : ctx.ConnectionString;
}

// A notice of the receiver: a warning that also counts as the last error.
void ReceiverNotice(Varnel& ctx, const std::string& text) {
  Notice(ctx, evt::kWarning, text);
  ++ctx.ErrorCount;
  ctx.LastErrorText = FormatDateTime(ctx.DateFormat, ctx.clock.Now()) + ": " + text;
}

std::int64_t FileLength(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw FileError(errno, path);
  return static_cast<std::int64_t>(st.st_size);
}

bool SameAddress(const std::string& configured, const std::string& peer) {
  std::error_code e1, e2;
  auto a = asio::ip::make_address(configured, e1);
  auto b = asio::ip::make_address(peer, e2);
  if (e1 || e2) return configured == peer;
  return a == b;
}

void SyncDirectory(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

// ---------------------------------------------------------------- receiver

class BackupListener {
 public:
  BackupListener(Varnel& ctx, const tcp::endpoint& ep)
      : ctx_(ctx), acceptor_(ctx.io), replaceTimer_(ctx.io) {
    ListenOn(acceptor_, ep);
    Accept();
  }
  ~BackupListener() {
    *alive_ = false;
    Close();
  }
  BackupListener(const BackupListener&) = delete;
  BackupListener& operator=(const BackupListener&) = delete;

  void Close() {
    std::error_code ec;
    acceptor_.close(ec);
    replaceTimer_.cancel();
    if (current_) Drop(current_);
  }

 private:
  struct Connection {
    explicit Connection(asio::io_context& io) : socket(io) {}
    ~Connection() { CloseFile(); }
    void CloseFile() {
      if (fd >= 0) ::close(fd);
      fd = -1;
    }
    tcp::socket socket;
    std::array<char, 65536> buffer{};
    std::string header;  // what arrived before the header line was complete
    int fd = -1;         // the "_bak" file
  };
  using ConnectionPtr = std::shared_ptr<Connection>;

  void Accept() {
    auto c = std::make_shared<Connection>(ctx_.io);
    acceptor_.async_accept(c->socket, [this, c, alive = alive_](const std::error_code& ec) {
      if (!*alive || ec == asio::error::operation_aborted || !acceptor_.is_open()) return;
      if (ec) {
        VarnelError e = SocketErrorOf(ec);
        ReportError(ctx_, "backupServer_Error", e.Number(), e.what());
      } else {
        ConnectionRequest(c);
      }
      Accept();
    });
  }

  void ConnectionRequest(const ConnectionPtr& c) {
    std::error_code ec;
    std::string peer = c->socket.remote_endpoint(ec).address().to_string();
    const std::string& primary = ctx_.backup.PrimaryAddress;
    if (!primary.empty() && !SameAddress(primary, peer)) {
      c->socket.close(ec);
      Guarded(ctx_, "backupServer_ConnectionRequest",
              [&] { ReceiverNotice(ctx_, "Remote backup connection from " + peer + " refused."); });
      return;
    }
    // One transfer at a time: a new connection of the primary supersedes one that stalled.
    if (current_) Drop(current_);
    replaceTimer_.cancel();
    current_ = c;
    ctx_.backup.BackupRxPosition = 0;
    Guarded(ctx_, "backupServer_ConnectionRequest", [&] {
      TraceServer(ctx_, EventLines(ctx_, "backupServer", "backupServer_ConnectionRequest", true));
    });
    Read(c);
  }

  void Read(const ConnectionPtr& c) {
    c->socket.async_read_some(
        asio::buffer(c->buffer),
        [this, c, alive = alive_](const std::error_code& ec, std::size_t n) {
          if (!*alive || c != current_ || ec == asio::error::operation_aborted) return;
          if (ec == asio::error::eof) {
            PeerClosed(c);
          } else if (ec) {
            SocketError(c, ec);
          } else if (DataArrival(c, c->buffer.data(), n)) {
            Read(c);
          } else {
            Drop(c);
          }
        });
  }

  // False when the connection is to be dropped.
  bool DataArrival(const ConnectionPtr& c, const char* data, std::size_t n) {
    bool keep = true;
    bool ok = Guarded(ctx_, "backupServer_DataArrival", [&] {
      BackupState& s = ctx_.backup;
      if (s.BackupRxPosition != 0) {
        WriteData(c, data, n);
        return;
      }
      c->header.append(data, n);
      BackupHeader h;
      HeaderParse p = ParseBackupHeader(c->header, h);
      if (p == HeaderParse::Incomplete) return;
      if (p == HeaderParse::Invalid || h.name != kArchiveName) {
        keep = false;
        ReceiverNotice(ctx_, "Remote backup header refused: " +
                                 LeftChars(c->header.substr(0, c->header.find('\r')), 60));
        return;
      }
      // A new transfer always starts an empty file, whatever an earlier one left.
      const std::string path = ctx_.Path(kReceivedArchive);
      c->fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
      if (c->fd < 0) {
        keep = false;
        throw FileError(errno, path);
      }
      s.BackupRxExpectedLength = h.length;
      s.BackupRxPosition = 1;
      std::error_code ec;
      asio::write(c->socket, asio::buffer(std::string("OK\r\n")), ec);
      if (ec) ThrowSocketError(ec);
      auto lines = EventLines(ctx_, "backupServer", "backupServer_DataArrival");
      lines.push_back("recvData: " + h.name + "---" + std::to_string(h.length));
      lines.push_back(">> sendData: OK");
      TraceServer(ctx_, lines);
      std::string rest = c->header.substr(h.size);
      c->header.clear();
      if (!rest.empty()) WriteData(c, rest.data(), rest.size());
    });
    return ok && keep;
  }

  // Writes at most the announced length; what comes beyond it is only counted, so the size
  // check refuses the transfer.
  void WriteData(const ConnectionPtr& c, const char* data, std::size_t n) {
    BackupState& s = ctx_.backup;
    std::int64_t written = s.BackupRxPosition - 1;
    std::int64_t room = std::max<std::int64_t>(0, s.BackupRxExpectedLength - written);
    std::size_t take = static_cast<std::size_t>(std::min<std::int64_t>(room, n));
    for (std::size_t done = 0; done < take;) {
      ssize_t w = ::write(c->fd, data + done, take - done);
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) throw FileError(errno, ctx_.Path(kReceivedArchive));
      done += static_cast<std::size_t>(w);
    }
    s.BackupRxPosition += static_cast<std::int64_t>(n);
    auto lines = EventLines(ctx_, "backupServer", "backupServer_DataArrival");
    lines.push_back("bytesTotal: " + std::to_string(s.BackupRxPosition - 1));
    TraceServer(ctx_, lines);
  }

  void PeerClosed(const ConnectionPtr& c) {
    bool transfer = ctx_.backup.BackupRxPosition != 0;
    Drop(c);
    if (!transfer) return;  // nothing announced, nothing to replace
    Guarded(ctx_, "backupServer_Close", [&] {
      auto lines = EventLines(ctx_, "backupServer", "backupServer_Close");
      lines.push_back("File Received");
      TraceServer(ctx_, lines);
    });
    ReplaceWhenIdle();
  }

  // The swap waits for a running cycle to end (the transfer may finish during one of its
  // waits), so no procedure of the cycle has the database open meanwhile.
  void ReplaceWhenIdle() {
    if (ctx_.CycleRunning) {
      replaceTimer_.expires_after(std::chrono::milliseconds(kReplaceRetryMs));
      replaceTimer_.async_wait([this, alive = alive_](const std::error_code& ec) {
        if (*alive && !ec) ReplaceWhenIdle();
      });
      return;
    }
    SetStatus(ctx_, StatusStepCode::ReceivingDatabase, kStatusReplacing);
    bool timer = ctx_.TimerEnabled;
    ctx_.TimerEnabled = false;
    ReplaceDatabase(ctx_);
    ctx_.TimerEnabled = timer;
    SetStatus(ctx_, StatusStepCode::Countdown, kStatusIdle);
  }

  void SocketError(const ConnectionPtr& c, const std::error_code& ec) {
    Drop(c);
    SetStatus(ctx_, StatusStepCode::Countdown, kStatusIdle);
    VarnelError e = SocketErrorOf(ec);
    ReportError(ctx_, "backupServer_Error", e.Number(), e.what());
  }

  void Drop(const ConnectionPtr& c) {
    std::error_code ec;
    c->socket.close(ec);
    c->CloseFile();
    if (current_ == c) current_.reset();
  }

  Varnel& ctx_;
  tcp::acceptor acceptor_;
  asio::steady_timer replaceTimer_;
  ConnectionPtr current_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

void OpenBackupListener(Varnel& ctx, Table& general) {
  std::string address = general.Text("BackupAddress");
  ctx.backup.PrimaryAddress = general.Text("PrimaryAddress");
  int port;
  {
    Database db = OpenDatabase(ctx);
    port = db.Open("Settings_SNMP_Agent").Int32("UdpPort");
  }
  tcp::endpoint ep(BindAddress(address), static_cast<unsigned short>(port));
  ctx.backup.listener = std::make_shared<BackupListener>(ctx, ep);
}

void CloseBackupListener(Varnel& ctx) { ctx.backup.listener.reset(); }

void ReplaceDatabase(Varnel& ctx) {
  Guarded(ctx, "ReplaceDatabase", [&] {
    const BackupState& s = ctx.backup;
    const std::string zip = ctx.Path(kReceivedArchive);
    if (!FileExists(zip)) {
      ReceiverNotice(ctx, "Varnel.zip_bak: File does not exist.");
      return;
    }
    if (FileLength(zip) != s.BackupRxExpectedLength ||
        s.BackupRxPosition - 1 != s.BackupRxExpectedLength) {
      ReceiverNotice(ctx, "Varnel.zip_bak: Size differ from Primary System.");
      return;
    }
    // Unpacked next to the live file, so that the swap is a rename within one directory.
    const std::string received = ctx.Path(kReceivedDatabase);
    const std::string live = LiveDatabase(ctx);
    UnpackDatabase(zip, received);
    DeleteFile(zip);
    try {
      CheckReceivedDatabase(received, live);
    } catch (...) {
      ::unlink(received.c_str());
      throw;
    }
    // The connections kept for the old file are closed first, so that its log is folded into
    // it and removed; no journal or log of the old file may be played into the new one.
    Database::CloseKept(live);
    ::unlink((live + "-journal").c_str());
    if (::rename(received.c_str(), live.c_str()) != 0) {
      int e = errno;
      ::unlink(received.c_str());
      throw FileError(e, live);
    }
    SyncDirectory(ctx.ProgramDir);
  });
}

// ---------------------------------------------------------------- sender

class BackupClient {
 public:
  explicit BackupClient(Varnel& ctx) : ctx_(ctx), socket_(ctx.io) {}
  ~BackupClient() {
    *alive_ = false;
    Close();
  }
  BackupClient(const BackupClient&) = delete;
  BackupClient& operator=(const BackupClient&) = delete;

  void Connect(const tcp::endpoint& ep) {
    socket_.async_connect(ep, [this, alive = alive_](const std::error_code& ec) {
      if (!*alive || ec == asio::error::operation_aborted) return;
      if (ec) return Error(ec);
      Guarded(ctx_, "backupClient_Connect", [&] { OnConnect(); });
    });
  }

  void Close() {
    std::error_code ec;
    socket_.close(ec);
  }

 private:
  void OnConnect() {
    std::int64_t length = FileLength(ctx_.Path(kArchiveName));
    header_ = BackupHeaderLine(length);
    auto lines = EventLines(ctx_, "backupClient", "backupClient_Connect");
    lines.push_back(">> sendData: " + std::string(kArchiveName) + "---" + std::to_string(length));
    TraceClient(ctx_, lines);
    asio::async_write(socket_, asio::buffer(header_),
                      [this, alive = alive_](const std::error_code& ec, std::size_t) {
                        if (*alive && ec && ec != asio::error::operation_aborted) Error(ec);
                      });
    Read();
  }

  void Read() {
    socket_.async_read_some(
        asio::buffer(buffer_), [this, alive = alive_](const std::error_code& ec, std::size_t n) {
          if (!*alive || ec == asio::error::operation_aborted) return;
          if (ec == asio::error::eof) {
            Guarded(ctx_, "backupClient_Close", [&] {
              TraceClient(ctx_, EventLines(ctx_, "backupClient", "backupClient_Close"));
            });
            return;
          }
          if (ec) return Error(ec);
          Guarded(ctx_, "backupClient_DataArrival", [&] { DataArrival(n); });
          Read();
        });
  }

  void DataArrival(std::size_t n) {
    if (replied_) return;
    reply_.append(buffer_.data(), n);
    std::size_t crlf = reply_.find("\r\n");
    if (crlf == std::string::npos && reply_.size() < kMaxHeaderBytes) return;
    replied_ = true;
    ctx_.backup.BackupRxReply = reply_.substr(0, crlf);
    auto lines = EventLines(ctx_, "backupClient", "backupClient_DataArrival");
    lines.push_back("getData: " + ctx_.backup.BackupRxReply);
    if (ctx_.backup.BackupRxReply == "OK") {
      lines.push_back(">> sendData: begin file transfer..");
      SendBlock(0);
    }
    TraceClient(ctx_, lines);
  }

  void SendBlock(std::size_t offset) {
    const std::vector<char>& data = ctx_.backup.BackupTxBuffer;
    std::size_t n = std::min(kSendBlock, data.size() - offset);
    asio::async_write(socket_, asio::buffer(data.data() + offset, n),
                      [this, offset, alive = alive_](const std::error_code& ec, std::size_t sent) {
                        if (!*alive || ec == asio::error::operation_aborted) return;
                        if (ec) return Error(ec);
                        Guarded(ctx_, "backupClient_SendProgress",
                                [&] { SendProgress(offset + sent, sent); });
                      });
  }

  void SendProgress(std::size_t done, std::size_t sent) {
    BackupState& s = ctx_.backup;
    s.BackupTxCount += static_cast<std::int64_t>(sent);
    std::size_t remaining = s.BackupTxBuffer.size() - done;
    auto lines = EventLines(ctx_, "backupClient", "backupClient_SendProgress");
    lines.push_back("bytesSent: " + std::to_string(sent));
    lines.push_back("bytesRemaining: " + std::to_string(remaining));
    lines.push_back("totalBytesSent: " + std::to_string(s.BackupTxCount));
    if (remaining > 0) {
      SendBlock(done);
    } else {
      auto complete = EventLines(ctx_, "backupClient", "backupClient_SendComplete");
      lines.insert(lines.end(), complete.begin(), complete.end());
    }
    TraceClient(ctx_, lines);
  }

  void Error(const std::error_code& ec) {
    Close();
    VarnelError e = SocketErrorOf(ec);
    ReportError(ctx_, "backupClient_Error", e.Number(), e.what());
  }

  Varnel& ctx_;
  tcp::socket socket_;
  std::array<char, 256> buffer_{};
  std::string header_;
  std::string reply_;
  bool replied_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

namespace {

struct BackupTarget {
  bool remoteBackup = false;
  std::string address;
  int port = 0;
};

BackupTarget ReadBackupTarget(Varnel& ctx) {
  Database db = OpenDatabase(ctx);
  Table g = db.Open("Settings_General");
  BackupTarget t;
  t.remoteBackup = g.Flag("RemoteBackup");
  t.address = g.Text("BackupAddress");
  t.port = db.Open("Settings_SNMP_Agent").Int32("UdpPort");
  return t;
}

// The archive of a consistent snapshot of the live database, read into BackupTxBuffer.
void PrepareArchive(Varnel& ctx) {
  ::mkdir(ctx.Path("Backup").c_str(), 0755);
  const std::string snapshot = ctx.Path(kSnapshot);
  CopyDatabase(LiveDatabase(ctx), snapshot);
  PackDatabase(snapshot, ctx.Path(kArchiveName));
  DeleteFile(snapshot);
  std::ifstream in(ctx.Path(kArchiveName), std::ios::binary);
  if (!in) throw FileError(ENOENT, ctx.Path(kArchiveName));
  ctx.backup.BackupTxBuffer.assign(std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>());
}

}  // namespace

void SendMdbToBkSrv(Varnel& ctx) {
  Guarded(ctx, "SendMdbToBkSrv", [&] {
    BackupState& s = ctx.backup;
    if (s.RemoteBackupKept == false) return;
    BackupTarget target = ReadBackupTarget(ctx);
    s.RemoteBackupKept = target.remoteBackup;
    if (!target.remoteBackup || !ctx.IsPrimary) return;
    SetStatus(ctx, StatusStepCode::Maintenance, kStatusRemoteBackup);
    PrepareArchive(ctx);
    const auto length = static_cast<std::int64_t>(s.BackupTxBuffer.size());
    s.client.reset();
    s.BackupRxReply.clear();
    s.BackupTxCount = 0;
    std::error_code ec;
    auto address = asio::ip::make_address(target.address, ec);
    if (ec) throw VarnelError(err::kHostNotFound, "Host not found: " + target.address);
    std::vector<std::string> lines{
        "", std::string(34, '='),
        "Connect to: " + target.address + ":" + std::to_string(target.port),
        "Delta: 0 ms    State: 0", ">> do connect"};
    SocketEventLines(ctx, "backupClient", "", 0, true);  // the deltas start here
    TraceClient(ctx, lines);
    s.client = std::make_shared<BackupClient>(ctx);
    s.client->Connect(tcp::endpoint(address, static_cast<unsigned short>(target.port)));
    const std::uint64_t deadline =
        ctx.clock.TickMs() + static_cast<std::uint64_t>(BackupDeadlineSeconds(length)) * 1000;
    bool sent = false;
    while (!sent && ctx.clock.TickMs() <= deadline) {
      Delay(ctx.io, kSendSliceMs);
      sent = s.BackupTxCount == length;
    }
    // The close is the standby's end-of-file signal.
    s.client.reset();
    std::vector<char>().swap(s.BackupTxBuffer);
    if (!sent) return;  // the archive stays; the next call tries again
    ctx.DatabaseSent = true;
    TraceClient(ctx, {"Database sent OK"});
    DeleteFile(ctx.Path(kArchiveName));
  });
}

}  // namespace varnel
