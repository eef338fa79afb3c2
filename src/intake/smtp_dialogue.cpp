#include "intake/smtp_dialogue.h"

#include "filter/wildcard.h"
#include "intake/smtp_mail.h"
#include "platform/text.h"
#include "service/errors.h"
#include "service/trace.h"

namespace varnel {
namespace {

SmtpConnection& Record(Varnel& ctx, int n) {
  return ctx.intake.smtp.connections[static_cast<std::size_t>(n)];
}

bool Tracing(const Varnel& ctx) { return TraceEnabled(ctx, TraceCategory::EventSources); }

void Reply(Varnel& ctx, int n, SmtpPeer& peer, const std::string& text) {
  if (!peer.Connected()) return;
  peer.Send(text + "\r\n");
  if (Tracing(ctx)) TraceSmtp(ctx, n, " --> " + text);
}

bool StartsWith(const std::string& upper, const char* word) { return upper.rfind(word, 0) == 0; }

// A mail line: the leading dot of a dot-stuffed line goes; the mail stops growing at its
// bound and is then only read on to its end.
void AddMailLine(SmtpConnection& rec, const std::string& line, bool overlong) {
  if (rec.TooBig) return;
  std::size_t skip = line.size() > 1 && line[0] == '.' ? 1 : 0;
  if (overlong || rec.Mail.size() + line.size() - skip + 2 > kMaxMailText) {
    rec.TooBig = true;
    std::string().swap(rec.Mail);
    return;
  }
  rec.Mail.append(line, skip, std::string::npos).append("\r\n");
}

void EndOfMail(Varnel& ctx, int n, SmtpPeer& peer) {
  SmtpConnection& rec = Record(ctx, n);
  rec.InData = false;
  if (rec.TooBig) {
    rec.TooBig = false;
    rec.Subject.clear();
    rec.Text.clear();
    rec.OK = false;
    if (Tracing(ctx)) TraceSmtp(ctx, n, "Mail over the size bounds: not processed");
    Reply(ctx, n, peer, kSmtpTooBig);
    return;
  }
  ScanSmtpMail(ctx, rec);
  std::string().swap(rec.Mail);
  if (ProcessSmtpMailAtEnd(ctx, n)) {
    Reply(ctx, n, peer, kSmtpAccepted);
  } else {
    rec.OK = false;
    Reply(ctx, n, peer, kSmtpNotStored);
  }
}

// A new mail of the session: what the previous one left goes.
void StartMail(SmtpConnection& rec) {
  rec.From.clear();
  rec.To.clear();
  rec.Subject.clear();
  rec.Text.clear();
  rec.OK = false;
}

void Command(Varnel& ctx, int n, SmtpPeer& peer, const std::string& line) {
  SmtpConnection& rec = Record(ctx, n);
  std::string upper = ToUpper(line.substr(0, 10));
  std::string argument;
  bool ok = false;
  if (StartsWith(upper, "HELO") || StartsWith(upper, "EHLO") || StartsWith(upper, "RSET")) {
    MailTextTrim(upper.substr(0, 4), line + "\r\n", argument, ok);
    if (StartsWith(upper, "RSET")) StartMail(rec);
    Reply(ctx, n, peer, "250 " + argument + " OK");
  } else if (StartsWith(upper, "MAIL FROM:")) {
    MailTextTrim("MAIL FROM:", line + "\r\n", argument, ok);
    StartMail(rec);
    if (ok) rec.From = argument;
    Reply(ctx, n, peer, "250 " + argument + " OK");
  } else if (StartsWith(upper, "RCPT TO:")) {
    MailTextTrim("RCPT TO:", line + "\r\n", argument, ok);
    if (ok) rec.To += ";" + argument;
    Reply(ctx, n, peer, "250 " + argument + " OK");
  } else if (StartsWith(upper, "DATA")) {
    rec.InData = true;
    rec.TooBig = false;
    rec.Mail.clear();
    Reply(ctx, n, peer, kSmtpDataReply);
  } else if (StartsWith(upper, "QUIT")) {
    ProcessSmtpMailAtQuit(ctx, n);
    Reply(ctx, n, peer, kSmtpQuitReply);
    peer.Disconnect();
  } else {
    Reply(ctx, n, peer, kSmtpUnknown);
  }
}

}  // namespace

void SmtpLineReader::Feed(const char* data, std::size_t n, const Emit& emit) {
  for (std::size_t i = 0; i < n; ++i) {
    char c = data[i];
    if (c != '\n') {
      // One byte over the bound is kept: it may be the CR before the LF.
      if (line_.size() <= kMaxMailLine)
        line_ += c;
      else
        overlong_ = true;
      continue;
    }
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    if (line_.size() > kMaxMailLine) {
      line_.resize(kMaxMailLine);
      overlong_ = true;
    }
    std::string line;
    line.swap(line_);
    bool overlong = overlong_;
    overlong_ = false;
    emit(line, overlong);
  }
}

void MailTextTrim(const std::string& command, const std::string& line, std::string& argument,
                  bool& ok) {
  ok = false;
  auto crlf = line.find("\r\n");
  argument = crlf == std::string::npos ? std::string() : line.substr(0, crlf);
  if (command != "MAIL FROM:" && command != "RCPT TO:") return;
  auto open = line.find('<');
  if (open == std::string::npos) return;
  auto close = line.find('>', open + 1);
  if (close == std::string::npos) return;
  argument = line.substr(open + 1, close - open - 1);
  ok = true;
}

std::array<std::string, kMaxMailRecipients> SplitUpMailRecv(const std::string& recipients) {
  std::array<std::string, kMaxMailRecipients> parts;
  std::string rest = recipients.rfind(';', 0) == 0 ? recipients.substr(1) : recipients;
  std::size_t start = 0;
  for (std::size_t i = 0; i < parts.size() && start <= rest.size(); ++i) {
    auto end = rest.find(';', start);
    std::string item = Trim(rest.substr(start, end == std::string::npos ? end : end - start));
    auto at = item.find('@');
    if (at != std::string::npos) parts[i] = Trim(item.substr(0, at));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return parts;
}

void TraceSmtp(Varnel& ctx, int n, const std::string& text) {
  WriteTrace(ctx, TraceCategory::EventSources, trace::kSmtpMail,
             {ctx.clock.Now().Text().substr(11) + "[" + std::to_string(n) + "] " + text});
}

void smtpServer_Connected(Varnel& ctx, int n, SmtpPeer& peer, const std::string& host) {
  Guarded(ctx, "smtpServer_Connected", [&] {
    const SmtpSettings& s = ctx.intake.smtp.settings;
    WriteTrace(ctx, TraceCategory::EventSources, trace::kSmtpMail,
               {"", "********** SMTP Mail **********"});
    if (s.AccessListIp != "*" && !StringCompareText(ctx, host, s.AccessListIp)) {
      if (Tracing(ctx)) TraceSmtp(ctx, n, "Refused: " + host + " is not in AccessListIp");
      peer.Disconnect();
      return;
    }
    SmtpConnection& rec = Record(ctx, n);
    rec = SmtpConnection{};
    rec.Host = host;
    Reply(ctx, n, peer, kSmtpGreeting);
  });
}

void smtpServer_DataIn(Varnel& ctx, int n, SmtpPeer& peer, const std::string& line, bool overlong) {
  Guarded(ctx, "smtpServer_DataIn", [&] {
    SmtpConnection& rec = Record(ctx, n);
    // The mail's own lines are traced while it stays within its bound.
    if (Tracing(ctx) && !rec.TooBig) TraceSmtp(ctx, n, " <-- " + FromWire(line));
    if (rec.InData) {
      if (line == ".")
        EndOfMail(ctx, n, peer);
      else
        AddMailLine(rec, line, overlong);
    } else if (overlong) {
      Reply(ctx, n, peer, kSmtpTooBig);
    } else {
      Command(ctx, n, peer, line);
    }
  });
}

void smtpServer_Disconnected(Varnel& ctx, int n, const std::string& description) {
  Guarded(ctx, "smtpServer_Disconnected", [&] {
    SmtpConnection& rec = Record(ctx, n);
    rec.InData = false;  // a mail cut off by the disconnect is dropped
    std::string().swap(rec.Mail);
    if (!Tracing(ctx)) return;
    std::string k = "[" + std::to_string(n) + "] ";
    WriteTrace(ctx, TraceCategory::EventSources, trace::kSmtpMail,
               {ctx.clock.Now().Text().substr(11) + k + description, k + "**** Summary ****",
                "System:  " + ctx.intake.smtp.settings.SendingSystem, "Host:    " + rec.Host,
                "From:    " + rec.From, "To:      " + rec.To, "Subject: " + rec.Subject,
                "Text:    " + rec.Text, std::string("OK:      ") + (rec.OK ? "True" : "False")});
  });
}

void smtpServer_Error(Varnel& ctx, int number, const std::string& description) {
  ReportError(ctx, "smtpServer_Error", number, description);
}

}  // namespace varnel
