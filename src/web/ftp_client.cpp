#include "web/ftp_client.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <curl/curl.h>
#include <fstream>
#include <iterator>
#include <mutex>

#include "platform/error.h"
#include "platform/event_loop.h"
#include "platform/upload_source.h"
#include "service/date_format.h"

namespace varnel {
namespace {

// Seconds a server gets when TimeOut holds none: no wait is ever without end.
constexpr long kDefaultTimeoutMs = 60000;

int OnDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
  if (type == CURLINFO_HEADER_OUT || type == CURLINFO_HEADER_IN)
    static_cast<FtpClient*>(user)->OnProtocolData(type == CURLINFO_HEADER_OUT, data, size);
  return 0;
}

void CurlGlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool HostChars(const std::string& host) {
  if (host.empty() || host.size() > 253) return false;
  for (unsigned char c : host)
    if (!(std::isalnum(c) || c == '.' || c == '-' || c == '_' || c == ':')) return false;
  return true;
}

bool HasControl(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

// The URL path of a file in a remote directory: each byte other than unreserved ones
// percent-encoded; a leading "/" encoded too, which makes the directory absolute.
std::string RemotePath(std::string dir, const std::string& name) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  auto encode = [](const std::string& s, bool keepSlash) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
      if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' ||
          (keepSlash && c == '/')) {
        out += static_cast<char>(c);
      } else {
        out += '%';
        out += kHex[c >> 4];
        out += kHex[c & 15];
      }
    }
    return out;
  };
  std::string path = "/";
  if (!dir.empty()) {
    if (dir[0] == '/') path += "%2F", dir.erase(0, 1);
    if (!dir.empty())
      path += encode(dir, true) + "/";
    else if (path.size() > 1)
      path += "/";
  }
  return path + encode(name, false);
}

}  // namespace

struct FtpClient::Handle {
  CURL* easy = curl_easy_init();
  char error[CURL_ERROR_SIZE] = {};
  ~Handle() {
    if (easy) curl_easy_cleanup(easy);
  }
};

FtpClient::FtpClient(Varnel& ctx) : ctx_(ctx) { CurlGlobalInit(); }

FtpClient::~FtpClient() = default;

std::vector<std::string> FtpClient::TakeTrace() {
  std::vector<std::string> out;
  out.swap(trace_);
  return out;
}

void FtpClient::OnProtocolData(bool sent, const char* data, std::size_t size) {
  const std::string stamp = FormatDateTime("HH:MM:SS", ctx_.clock.Now());
  std::string_view rest(data, size);
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    std::string line(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (!sent) lastReply_ = line;
    if (sent && line.rfind("PASS ", 0) == 0) line = "PASS ****";
    if (tracing_) trace_.push_back(stamp + (sent ? " ---> " : " <--- ") + line);
  }
}

// Runs the prepared transfer beside the loop; the libcurl result.
int FtpClient::Perform() {
  CURL* e = handle_->easy;
  const long timeout = timeoutMs_ > 0 ? timeoutMs_ : kDefaultTimeoutMs;
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "ftp");
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, timeout);
  curl_easy_setopt(e, CURLOPT_ACCEPTTIMEOUT_MS, timeout);
  curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, (timeout + 999) / 1000);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, (timeout + 999) / 1000);
  curl_easy_setopt(e, CURLOPT_FTPPORT, passive_ ? static_cast<const char*>(nullptr) : "-");
  curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, binary_ ? 0L : 1L);
  curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, handle_->error);
  curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, OnDebug);
  curl_easy_setopt(e, CURLOPT_DEBUGDATA, this);
  handle_->error[0] = '\0';
  lastReply_.clear();
  int result = CURLE_FAILED_INIT;
  RunWhileServing(ctx_.io, [&] { result = curl_easy_perform(e); });
  return result;
}

// The server's own words when it refused, otherwise libcurl's.
std::string FtpClient::Describe(int code) const {
  switch (code) {
    case CURLE_LOGIN_DENIED:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_UPLOAD_FAILED:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_COULDNT_SET_TYPE:
      if (!lastReply_.empty()) return lastReply_;
      break;
    default: break;
  }
  return handle_->error[0] ? handle_->error : curl_easy_strerror(static_cast<CURLcode>(code));
}

void FtpClient::Login(const std::string& server, const std::string& user,
                      const std::string& password, int port) {
  handle_.reset();
  state_ = 0;
  if (!HostChars(server)) throw VarnelError(err::kHostNotFound, "Login Failed: Host not found.");
  // A line break in a credential would add commands to the dialogue.
  if (HasControl(user) || HasControl(password))
    throw VarnelError(err::kFtpProtocol, "Login Failed: Invalid user name or password.");
  handle_ = std::make_unique<Handle>();
  if (!handle_->easy) throw VarnelError(7, "Out of memory");
  const bool v6 = server.find(':') != std::string::npos;
  base_ = "ftp://" + (v6 ? "[" + server + "]" : server) + ":" + std::to_string(port);
  CURL* e = handle_->easy;
  curl_easy_setopt(e, CURLOPT_URL, (base_ + "/").c_str());
  curl_easy_setopt(e, CURLOPT_USERNAME, user.c_str());
  curl_easy_setopt(e, CURLOPT_PASSWORD, password.c_str());
  curl_easy_setopt(e, CURLOPT_NOBODY, 1L);  // connect and log in, transfer nothing
  const int rc = Perform();
  if (rc == CURLE_OK) {
    state_ = kFtpLoggedIn;
    return;
  }
  long osErrno = 0;
  curl_easy_getinfo(e, CURLINFO_OS_ERRNO, &osErrno);
  const std::string description = Describe(rc);
  handle_.reset();
  switch (rc) {
    case CURLE_COULDNT_RESOLVE_HOST:
      throw VarnelError(err::kHostNotFound, "Login Failed: Host not found.");
    case CURLE_COULDNT_CONNECT:
      if (osErrno == ECONNREFUSED)
        throw VarnelError(err::kConnRefused, "Login Failed: Connection Refused");
      throw SocketError(static_cast<int>(osErrno));
    case CURLE_OPERATION_TIMEDOUT: throw VarnelError(err::kTimedOut, description);
    default: throw VarnelError(err::kFtpProtocol, "Login Failed: " + description);
  }
}

void FtpClient::Put(const std::string& remoteDir, const std::string& localPath,
                    const std::string& name) {
  if (state_ != kFtpLoggedIn) throw VarnelError(err::kFtpProtocol, "Put Failed: Not logged in.");
  std::string data;
  {
    std::ifstream in(localPath, std::ios::binary);
    if (!in) throw FileError(errno, localPath);
    data.assign(std::istreambuf_iterator<char>(in), {});
  }
  UploadSource upload{data};
  CURL* e = handle_->easy;
  curl_easy_setopt(e, CURLOPT_URL, (base_ + RemotePath(remoteDir, name)).c_str());
  curl_easy_setopt(e, CURLOPT_NOBODY, 0L);
  curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(e, CURLOPT_READFUNCTION, ReadUpload);
  curl_easy_setopt(e, CURLOPT_READDATA, &upload);
  curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(upload.data.size()));
  const int rc = Perform();
  if (rc == CURLE_OK) return;
  if (rc == CURLE_UPLOAD_FAILED) {
    ++failed_;
    return;
  }
  throw VarnelError(err::kFtpProtocol, "Put Failed: " + Describe(rc));
}

void FtpClient::Logout() {
  if (!handle_) return;
  state_ = 0;
  // A last exchange on the session that may not keep it: libcurl ends it with QUIT then,
  // through this handle's trace and time-outs.
  CURL* e = handle_->easy;
  curl_easy_setopt(e, CURLOPT_URL, (base_ + "/").c_str());
  curl_easy_setopt(e, CURLOPT_UPLOAD, 0L);
  curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
  const int rc = Perform();
  const std::string description = rc == CURLE_OK ? "" : Describe(rc);
  std::unique_ptr<Handle> closing = std::move(handle_);
  RunWhileServing(ctx_.io, [&] { closing.reset(); });
  if (rc != CURLE_OK) throw VarnelError(err::kFtpProtocol, "Logout Failed: " + description);
}

}  // namespace varnel
