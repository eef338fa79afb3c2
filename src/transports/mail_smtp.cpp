#include "transports/mail_smtp.h"

#include <iconv.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <curl/curl.h>
#include <gmime/gmime.h>
#include <memory>
#include <random>
#include <vector>

#include "platform/event_loop.h"
#include "platform/text.h"
#include "platform/upload_source.h"
#include "service/errors.h"
#include "service/trace.h"
#include "transports/alarm_text.h"

namespace varnel {
namespace {

// Seconds a relay gets when TimeOut holds none.
constexpr long kDefaultTimeoutSeconds = 60;
// Header texts on one line: control characters become blanks.
std::string OneLine(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  return out;
}

// Every line break (CR LF, a lone CR or a lone LF) as one LF, the form GMime reads lines in;
// it writes them out as CR LF.
std::string LfLines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += '\n';
    } else {
      out += text[i];
    }
  }
  return out;
}

bool CharsetToken(std::string_view s) {
  if (s.empty() || s.size() > 40) return false;
  for (unsigned char c : s)
    if (!(std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == ':')) return false;
  return true;
}

bool IsUtf8Name(std::string_view s) {
  std::string u = ToUpper(s);
  return u == "UTF-8" || u == "UTF8";
}

// Converts UTF-8 text into charset; a character the charset lacks becomes "?". False when
// the charset is unknown.
bool ConvertCharset(const std::string& utf8, const std::string& charset, std::string& out) {
  iconv_t cd = iconv_open((charset + "//TRANSLIT").c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::unique_ptr<void, int (*)(iconv_t)> guard(cd, iconv_close);
  out.clear();
  char buf[4096];
  auto convert = [&](char** in, std::size_t* inLeft) {
    char* o = buf;
    std::size_t oLeft = sizeof buf;
    std::size_t r = iconv(cd, in, inLeft, &o, &oLeft);
    out.append(buf, static_cast<std::size_t>(o - buf));
    return r == static_cast<std::size_t>(-1) ? errno : 0;
  };
  std::string input = utf8;
  char* in = input.data();
  std::size_t inLeft = input.size();
  while (inLeft > 0) {
    int e = convert(&in, &inLeft);
    if (e == 0 || e == E2BIG) continue;
    // Not convertible or not UTF-8: one character becomes "?".
    std::string q = "?";
    char* qi = q.data();
    std::size_t ql = 1;
    convert(&qi, &ql);
    ++in;
    --inLeft;
    while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xc0) == 0x80) {
      ++in;
      --inLeft;
    }
  }
  convert(nullptr, nullptr);  // the closing shift sequence of stateful charsets
  return true;
}

std::string HostName() {
  char buf[256] = {};
  if (::gethostname(buf, sizeof buf - 1) != 0 || !buf[0]) return "localhost";
  return buf;
}

bool HostChars(std::string_view host) {
  if (host.empty() || host.size() > 253) return false;
  for (unsigned char c : host)
    if (!(std::isalnum(c) || c == '.' || c == '-' || c == '_' || c == ':')) return false;
  return true;
}

// An address that can stand in MAIL FROM or RCPT TO: no blanks, controls or brackets.
bool Mailbox(std::string_view address) {
  if (address.size() > 254) return false;
  for (unsigned char c : address)
    if (c <= 0x20 || c == 0x7f || c == '<' || c == '>' || c == '"' || c == '\\') return false;
  return true;
}

std::string MessageId(const LocalTime& now, const std::string& sender) {
  static std::uint64_t counter = 0;
  static std::mt19937_64 rng{std::random_device{}()};
  std::string domain =
      sender.substr(sender.find('@') == std::string::npos ? sender.size() : sender.find('@') + 1);
  if (!HostChars(domain) || domain.find(':') != std::string::npos) domain = HostName();
  if (!HostChars(domain)) domain = "localhost";
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d.%d.%llu.%016llx", now.year, now.month,
                now.day, now.hour, now.minute, now.second, static_cast<int>(::getpid()),
                static_cast<unsigned long long>(++counter), static_cast<unsigned long long>(rng()));
  return std::string("<") + buf + "@" + domain + ">";
}

// The settings of the named relay and what the send makes of the message.
struct MailJob {
  std::string host1, host2;
  long port = 0;
  std::string sender, charset;
  bool useAuth = false, authLogin = false;
  std::string account, password;
  std::string subject, priority;
  long timeout = 0;
  std::string body;
  int retries = 0;
};

// The relay's session, kept for "SendMailSMTP.txt"; credentials are never written.
class SessionLog {
 public:
  explicit SessionLog(const Varnel& ctx)
      : ctx_(ctx), on_(TraceEnabled(ctx, TraceCategory::DebugAllOnly)) {}
  bool On() const { return on_; }
  void Line(const std::string& text) {
    if (on_) lines_.push_back(ctx_.clock.Now().Text() + "  " + text);
  }
  void Data(curl_infotype type, std::string_view data) {
    if (type == CURLINFO_DATA_OUT) {
      bytesOut_ += data.size();
      return;
    }
    if (type != CURLINFO_TEXT && type != CURLINFO_HEADER_IN && type != CURLINFO_HEADER_OUT) return;
    const char* mark = type == CURLINFO_TEXT ? "* " : type == CURLINFO_HEADER_IN ? "< " : "> ";
    std::size_t pos = 0;
    while (pos < data.size()) {
      std::size_t end = data.find('\n', pos);
      std::string_view line = data.substr(pos, end == std::string_view::npos ? end : end - pos);
      pos = end == std::string_view::npos ? data.size() : end + 1;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.empty()) continue;
      Line(mark + (type == CURLINFO_HEADER_OUT ? Masked(line) : OneLine(line)));
    }
  }
  void EndTransfer() {
    if (bytesOut_) Line("> [" + std::to_string(bytesOut_) + " bytes of mail]");
    bytesOut_ = 0;
  }
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  // Commands are written as they are; the lines of a login dialogue are not.
  static std::string Masked(std::string_view line) {
    static const char* const kVerbs[] = {"EHLO", "HELO", "MAIL", "RCPT",    "DATA",
                                         "QUIT", "RSET", "NOOP", "STARTTLS"};
    std::string upper = ToUpper(line.substr(0, 8));
    for (const char* v : kVerbs)
      if (upper.rfind(v, 0) == 0) return OneLine(line);
    if (upper.rfind("AUTH ", 0) == 0) {
      std::size_t sp = line.find(' ', 5);
      return OneLine(line.substr(0, sp)) + (sp == std::string_view::npos ? "" : " ****");
    }
    return "****";
  }

  const Varnel& ctx_;
  bool on_;
  std::vector<std::string> lines_;
  std::size_t bytesOut_ = 0;
};

int OnCurlDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
  static_cast<SessionLog*>(user)->Data(type, std::string_view(data, size));
  return 0;
}

// A mailbox whose display name, when it needs encoding, is written as UTF-8 like the subject.
void AddMailbox(GMimeMessage* message, GMimeAddressType type, const std::string& name,
                const std::string& address) {
  InternetAddress* mailbox =
      internet_address_mailbox_new(name.empty() ? nullptr : name.c_str(), address.c_str());
  internet_address_set_charset(mailbox, "utf-8");
  internet_address_list_add(g_mime_message_get_addresses(message, type), mailbox);
  g_object_unref(mailbox);
}

void GMimeInit() {
  static const bool done = [] {
    g_mime_init();
    return true;
  }();
  (void)done;
}

void CurlGlobalInit() {
  static const bool done = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  (void)done;
}

struct CurlHandle {
  CURL* easy = curl_easy_init();
  curl_slist* rcpt = nullptr;
  ~CurlHandle() {
    if (easy) curl_easy_cleanup(easy);
    curl_slist_free_all(rcpt);
  }
};

// The whole SMTP session with one relay host, on the calling thread. Returns 0 or the
// libcurl error number.
int Perform(const MailJob& job, const std::string& url, const std::string& recipient,
            const std::string& mail, SessionLog& log) {
  UploadSource upload{mail};
  CurlHandle h;
  if (!h.easy) return CURLE_OUT_OF_MEMORY;
  CURL* e = h.easy;
  const long timeout = job.timeout > 0 ? job.timeout : kDefaultTimeoutSeconds;
  h.rcpt = curl_slist_append(nullptr, ("<" + recipient + ">").c_str());
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "smtp");
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_TIMEOUT, timeout);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, timeout);
  curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);  // also bounds the QUIT
  curl_easy_setopt(e, CURLOPT_MAIL_FROM, ("<" + job.sender + ">").c_str());
  curl_easy_setopt(e, CURLOPT_MAIL_RCPT, h.rcpt);
  curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(e, CURLOPT_READFUNCTION, ReadUpload);
  curl_easy_setopt(e, CURLOPT_READDATA, &upload);
  curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(mail.size()));
  // Opportunistic STARTTLS: encrypt when the relay offers it, as relays do among themselves.
  curl_easy_setopt(e, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
  if (job.useAuth) {
    curl_easy_setopt(e, CURLOPT_USERNAME, job.account.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, job.password.c_str());
    curl_easy_setopt(e, CURLOPT_LOGIN_OPTIONS, job.authLogin ? "AUTH=LOGIN" : "AUTH=PLAIN");
  }
  if (log.On()) {
    curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, OnCurlDebug);
    curl_easy_setopt(e, CURLOPT_DEBUGDATA, &log);
  }
  const int result = curl_easy_perform(e);
  log.EndTransfer();
  return result;
}

// One mail to one relay host. libcurl waits for the relay's replies inside its calls (also
// with its multi interface: the reply to the mail data and to QUIT), so the session runs on a
// helper thread while this thread waits in Delay slices and the listeners stay served.
int Transfer(Varnel& ctx, const MailJob& job, const std::string& host, const std::string& recipient,
             const std::string& mail, SessionLog& log) {
  const long port = job.port > 0 ? job.port : 25;
  // An empty sender is the null sender; a recipient is needed.
  if (!HostChars(host) || port > 65535 || recipient.empty() || !Mailbox(recipient) ||
      !Mailbox(job.sender)) {
    log.Line("* Not sent: invalid relay host, port or address");
    return CURLE_URL_MALFORMAT;
  }
  const bool v6 = host.find(':') != std::string::npos;
  const std::string url = "smtp://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
  log.Line("* Connecting to " + url);
  CurlGlobalInit();  // not thread-safe: before the helper thread starts

  int result = CURLE_FAILED_INIT;
  RunWhileServing(ctx.io, [&] { result = Perform(job, url, recipient, mail, log); });
  log.Line("* Result " + std::to_string(result) + ": " +
           curl_easy_strerror(static_cast<CURLcode>(result)));
  return result;
}

}  // namespace

std::string ComposeMail(const MailMessage& mail, const LocalTime& date,
                        const std::string& messageId) {
  std::string charset = "utf-8";
  std::string body = LfLines(mail.body);
  const std::string wanted = Trim(mail.charset);
  if (CharsetToken(wanted) && !IsUtf8Name(wanted)) {
    std::string converted;
    if (ConvertCharset(body, wanted, converted)) {
      charset = wanted;
      body = std::move(converted);
    }
  }
  GMimeInit();
  GMimeMessage* message = g_mime_message_new(TRUE);
  GMimeObject* headers = GMIME_OBJECT(message);
  g_mime_object_set_header(headers, "Date", Rfc5322Date(date).c_str(), nullptr);
  if (mail.sender.empty())
    AddMailbox(message, GMIME_ADDRESS_TYPE_FROM, "Varnel", "varnel@" + HostName());
  else
    AddMailbox(message, GMIME_ADDRESS_TYPE_FROM, "", mail.sender);
  // Display names and the subject are kept on one line; GMime quotes or encodes them.
  AddMailbox(message, GMIME_ADDRESS_TYPE_TO, OneLine(mail.recipientName), mail.recipient);
  g_mime_message_set_subject(message, OneLine(mail.subject).c_str(), "utf-8");
  g_mime_object_set_header(headers, "Message-ID", messageId.c_str(), nullptr);
  if (!mail.priority.empty())
    g_mime_object_set_header(headers, "X-Priority", mail.priority.c_str(), nullptr);
  g_mime_object_set_header(headers, "X-Mailer", "Varnel", nullptr);

  GMimeTextPart* text = g_mime_text_part_new_with_subtype("plain");
  GMimeStream* stream = g_mime_stream_mem_new_with_buffer(body.data(), body.size());
  GMimeDataWrapper* content =
      g_mime_data_wrapper_new_with_stream(stream, GMIME_CONTENT_ENCODING_DEFAULT);
  g_mime_part_set_content(GMIME_PART(text), content);
  g_mime_object_set_content_type_parameter(GMIME_OBJECT(text), "charset", charset.c_str());
  g_mime_part_set_content_encoding(GMIME_PART(text), GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
  g_mime_message_set_mime_part(message, GMIME_OBJECT(text));
  g_object_unref(content);
  g_object_unref(stream);
  g_object_unref(text);

  GMimeFormatOptions* format = g_mime_format_options_new();
  g_mime_format_options_set_newline_format(format, GMIME_NEWLINE_FORMAT_DOS);
  char* written = g_mime_object_to_string(headers, format);
  std::string out(written);
  g_free(written);
  g_mime_format_options_free(format);
  g_object_unref(message);
  return out;
}

void SendMailSMTP(Varnel& ctx, const std::string& mailServers, const std::string& receiverName,
                  const std::string& address, std::string& message, std::int16_t& status,
                  std::string& statusText) {
  const bool ok = Guarded(ctx, "SendMailSMTP", [&] {
    SetStatus(ctx, StatusStepCode::Sending, "Connecting to Mail Server");
    const std::size_t semi = mailServers.find(';');
    const std::string name1 = mailServers.substr(0, semi);
    const std::string name2 = semi == std::string::npos ? "" : mailServers.substr(semi + 1);

    MailJob job;
    {
      Database db = OpenDatabase(ctx);
      Table t = db.Open("Settings_Mail_SMTP");
      // Every row is read: a later row of the same name overrides an earlier one.
      for (; !t.Eof(); t.MoveNext()) {
        const std::string name = t.Text("Name");
        if (name == name1) {
          job.host1 = Trim(t.Text("HostAddress"));
          job.port = t.Int32("MailPort");
          job.sender = Trim(t.Text("SenderAddress"));
          job.charset = t.Text("CharSet");
          job.useAuth = t.Flag("UseAuth");
          if (job.useAuth) {
            job.authLogin = t.Text("AuthMode") == "AUTH LOGIN";
            job.account = t.Text("Account");
            job.password = t.Text("Passw");
          }
          const std::string subject = t.Text("MailSubject");
          job.subject = subject == kSubjectFromMessage ? LeftChars(message, 100) : subject;
          const std::string importance = t.Text("Importance");
          job.priority = importance == "High"     ? "1"
                         : importance == "Normal" ? "3"
                         : importance == "Low"    ? "4"
                                                  : "";
          job.timeout = t.Int32("TimeOut");
          message = GroupBreaksToCrLf(message);
          const std::int32_t maxChar = t.Int32("MaxChar");
          if (maxChar < 0) throw VarnelError(5, "Invalid procedure call or argument (MaxChar)");
          job.body = LeftChars(message, maxChar);
          // At least the one attempt, whatever the row says.
          job.retries = std::max<int>(0, t.Int16("Retries"));
        }
        if (name == name2) job.host2 = Trim(t.Text("HostAddress"));
      }
    }
    if (job.host1.empty()) {
      status = kSendFailed;
      statusText = "MailServer not found in database.";
      return;
    }

    std::vector<std::string> hosts{job.host1};
    if (!job.host2.empty()) hosts.push_back(job.host2);
    const LocalTime now = ctx.clock.Now();
    const std::string mail = ComposeMail(
        {job.sender, Trim(address), receiverName, job.subject, job.priority, job.charset, job.body},
        now, MessageId(now, job.sender));

    SessionLog log(ctx);
    status = kNotSent;
    for (int attempt = 0; status != kSent && attempt <= job.retries; ++attempt) {
      SetStatus(ctx, StatusStepCode::SendingMessage, "Sending mail to " + receiverName);
      int result = 0;
      for (const std::string& host : hosts)
        if ((result = Transfer(ctx, job, host, Trim(address), mail, log)) == 0) break;
      if (result == 0) {
        status = kSent;
        statusText = "SMTP: Message sent successfully.";
      } else {
        status = kSendFailed;
        statusText = "SMTP: Error when sending message. Error: " + std::to_string(result);
      }
    }
    WriteTrace(ctx, TraceCategory::DebugAllOnly, trace::kSendMailSmtp, log.Lines());
    Delay(ctx.io, kPauseAfterSendMs);
  });
  if (!ok) {
    status = kSendFailed;
    statusText = "ERROR: Module SendMailSMTP";
  }
}

}  // namespace varnel
