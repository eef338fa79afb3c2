// The SMTP listener's dialogue: one handler per socket event of a numbered connection, the
// replies, the end of the mail, and the bounds on what a client may send.
#pragma once
#include <array>
#include <cstddef>
#include <functional>
#include <string>

#include "service/varnel.h"

namespace varnel {

constexpr std::size_t kMaxMailText = 1 << 20;  // a mail's text, CR LF included
constexpr std::size_t kMaxMailLine = 1 << 16;  // one line, without its CR LF
constexpr int kMaxMailRecipients = 50;

inline constexpr const char* kSmtpGreeting = "220 Varnel SMTP Server ready";
inline constexpr const char* kSmtpDataReply = "354 Start mail input; end with <CRLF>.<CRLF>";
inline constexpr const char* kSmtpAccepted = "250 <123> Mail accepted";
inline constexpr const char* kSmtpQuitReply = "221 Varnel SMTP Server QUIT";
inline constexpr const char* kSmtpTooBig =
    "552 Requested mail action aborted: exceeded storage allocation";
// The mail could not be stored; the client keeps it and tries again.
inline constexpr const char* kSmtpNotStored =
    "451 Requested action aborted: local error in processing";
inline constexpr const char* kSmtpUnknown = "500 Command not recognized";
inline constexpr const char* kSmtpBusy = "421 Too many connections, try again later";

// What the dialogue needs of a client connection.
class SmtpPeer {
 public:
  virtual ~SmtpPeer() = default;
  virtual bool Connected() const = 0;
  virtual void Send(const std::string& text) = 0;
  // Ends the connection once what was sent has gone out.
  virtual void Disconnect() = 0;
};

// Splits a client's byte stream into lines at LF (a CR before it is dropped, so bare LF
// line ends work too). A line longer than kMaxMailLine keeps its first part and is marked.
class SmtpLineReader {
 public:
  using Emit = std::function<void(const std::string& line, bool overlong)>;
  void Feed(const char* data, std::size_t n, const Emit& emit);

 private:
  std::string line_;
  bool overlong_ = false;
};

// The argument of a command line (line with its CR LF): the line up to its first CR LF (empty
// when it has none), ok false; for "MAIL FROM:" and "RCPT TO:" with "<" and later ">" the
// text between them, ok true.
void MailTextTrim(const std::string& command, const std::string& line, std::string& argument,
                  bool& ok);

// The names before "@" of the ";"-separated recipients (a leading ";" skipped, at most 50,
// trimmed); an item without "@" gives an empty part.
std::array<std::string, kMaxMailRecipients> SplitUpMailRecv(const std::string& recipients);

// A client got connection number n (1..9): checked against AccessListIp, then greeted.
void smtpServer_Connected(Varnel& ctx, int n, SmtpPeer& peer, const std::string& host);
// A line from connection n, without its CR LF.
void smtpServer_DataIn(Varnel& ctx, int n, SmtpPeer& peer, const std::string& line,
                       bool overlong = false);
// Connection n ended: the trace gets its description and the record's summary.
void smtpServer_Disconnected(Varnel& ctx, int n, const std::string& description);
// A socket error of the listener itself.
void smtpServer_Error(Varnel& ctx, int number, const std::string& description);

// A trace line "HH:MM:SS[n] " + text in "Event_SmtpMail.txt".
void TraceSmtp(Varnel& ctx, int n, const std::string& text);

}  // namespace varnel
