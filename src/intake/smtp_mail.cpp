// Scanning of a received mail and what it becomes, by SendingSystem.
//
// Scanning (every system):
// - Subject: the Subject header with its encoded words decoded (any charset, Q or B), line
//   breaks and TABs read as blanks, trimmed.
// - Body: the text of the last text/plain part (DecodeMime), without blank lines at either
//   end. When it holds "<sms>" and a later "</sms>" (any letter case), only the text between
//   them, trimmed.
// - Text: the body, except for "Check Point Mobile Access" (the first body line that holds
//   "Mobile Access DynamicID") and "SafeWord" (the first body line that holds "password:"),
//   each matched in any letter case; the whole body when no line holds the marker.
// - The message of the SMS gateways: the Subject for "SMS Gateway - Subject", the Text for
//   "SMS Gateway - Body". $S and $B of HcodedSource stand for the Subject and the first 100
//   characters of the Text in either case.
//
// What the mail becomes (after the sender passed AccessListFrom):
// - At QUIT, for the last mail of the connection: "Check Point Mobile Access" (To, From,
//   Subject and Text set) one SMS request to the first recipient without "+" and the part from
//   "@" on; "SkyTel" (To, From and Text set) the event From " 1 " Text; the SMS gateways (To,
//   From and the message set) one SMS request per recipient with a name before "@", or with
//   UseEventFilter the event of the message (HcodedEventText with UseHcodedSource).
// - At the end of each mail: "SafeWord" (To, From, Subject and Text set) one SMS request as
//   for Check Point; any other system the event of the Subject, or of the first non-empty
//   Text line when the subject is empty (HcodedEventText with UseHcodedSource).
// - SMS requests name the sender (From) as the receiver; line breaks and TABs of their texts
//   become blanks.
#include "intake/smtp_mail.h"

#include "filter/wildcard.h"
#include "intake/mail_to_event.h"
#include "intake/smtp_dialogue.h"
#include "intake/smtp_mime.h"
#include "platform/files.h"
#include "platform/text.h"
#include "service/errors.h"

namespace varnel {
namespace {

enum class System { CheckPoint, SafeWord, SkyTel, GatewayBody, GatewaySubject, General };

System SystemOf(const std::string& name) {
  if (name == "Check Point Mobile Access") return System::CheckPoint;
  if (name == "SafeWord") return System::SafeWord;
  if (name == "SkyTel") return System::SkyTel;
  if (name == "SMS Gateway - Body") return System::GatewayBody;
  if (name == "SMS Gateway - Subject") return System::GatewaySubject;
  return System::General;
}

// Line breaks and TABs as blanks, trimmed: a text that fits in one drop-file field.
std::string OneLine(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += c == '\r' || c == '\n' || c == '\t' ? ' ' : c;
  }
  return Trim(out);
}

std::string WithoutBlankEdges(const std::string& text) {
  auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  first = text.rfind('\n', first);
  first = first == std::string::npos ? 0 : first + 1;
  return text.substr(first, text.find_last_not_of(" \t\r\n") + 1 - first);
}

std::string SmsPart(const std::string& body) {
  std::string lower = ToLower(body);
  auto open = lower.find("<sms>");
  if (open == std::string::npos) return body;
  auto close = lower.find("</sms>", open + 5);
  if (close == std::string::npos) return body;
  return Trim(WithoutBlankEdges(body.substr(open + 5, close - open - 5)));
}

// The first line holding marker (any letter case), trimmed; the text itself when none does.
std::string MarkerLine(const std::string& text, const std::string& marker) {
  std::string lowerMarker = ToLower(marker);
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find("\r\n", start);
    std::string line = text.substr(start, end == std::string::npos ? end : end - start);
    if (ToLower(line).find(lowerMarker) != std::string::npos) return Trim(line);
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return text;
}

std::string FirstLine(const std::string& text) { return OneLine(text.substr(0, text.find('\r'))); }

std::string Before(const std::string& text, char c) { return text.substr(0, text.find(c)); }

SmtpConnection& Record(Varnel& ctx, int n) {
  return ctx.intake.smtp.connections[static_cast<std::size_t>(n)];
}

bool SenderAllowed(Varnel& ctx, int n, const SmtpConnection& rec) {
  const std::string& pattern = ctx.intake.smtp.settings.AccessListFrom;
  if (pattern == "*" || StringCompareText(ctx, rec.From, pattern)) return true;
  TraceSmtp(ctx, n, "Not processed: " + rec.From + " is not in AccessListFrom");
  return false;
}

// A direct SMS request line, in the field order the direct-mail reader takes.
// False when it could not be written (the error is reported).
bool WriteSmsRequest(Varnel& ctx, const std::string& address, const std::string& name,
                     const std::string& text) {
  return Guarded(ctx, "WriteSmsRequest", [&] {
    AppendLines(
        ctx.Path("SmtpMess.log"),
        {ctx.clock.Now().Text() + "\tPhoneMO\t" + OneLine(ctx.intake.smtp.settings.PhoneMoOper) +
         "\t" + OneLine(address) + "\t" + OneLine(name) + "\t" + OneLine(text)});
  });
}

// The single receiver of a Check Point or SafeWord mail.
std::string FirstReceiver(const std::string& to) {
  std::string r = to;
  if (r.rfind(';', 0) == 0) r.erase(0, 1);
  if (r.rfind('+', 0) == 0) r.erase(0, 1);
  return Before(r, '@');
}

std::string EventText(const SmtpSettings& s, const SmtpConnection& rec,
                      const std::string& message) {
  return s.UseHcodedSource ? HcodedEventText(s, rec, message) : message;
}

void ProcessGateway(Varnel& ctx, SmtpConnection& rec, const std::string& message) {
  const SmtpSettings& s = ctx.intake.smtp.settings;
  if (rec.To.empty() || rec.From.empty() || message.empty()) return;
  rec.OK = true;
  if (s.UseEventFilter) {
    WriteSmtpMailEventsToEventLog(ctx, EventText(s, rec, message));
    return;
  }
  for (const std::string& number : SplitUpMailRecv(rec.To))
    if (!number.empty()) WriteSmsRequest(ctx, number, rec.From, message);
}

}  // namespace

void ScanSmtpMail(Varnel& ctx, SmtpConnection& rec) {
  DecodedMail mail = DecodeMime(rec.Mail);
  rec.Subject = OneLine(mail.subject);
  std::string body = SmsPart(WithoutBlankEdges(mail.text));
  switch (SystemOf(ctx.intake.smtp.settings.SendingSystem)) {
    case System::CheckPoint: rec.Text = MarkerLine(body, "Mobile Access DynamicID"); break;
    case System::SafeWord: rec.Text = MarkerLine(body, "password:"); break;
    default: rec.Text = body;
  }
}

bool ProcessSmtpMailAtEnd(Varnel& ctx, int n) {
  SmtpConnection& rec = Record(ctx, n);
  const SmtpSettings& s = ctx.intake.smtp.settings;
  System system = SystemOf(s.SendingSystem);
  if (system == System::SafeWord) {
    if (!SenderAllowed(ctx, n, rec)) return true;
    if (rec.To.empty() || rec.From.empty() || rec.Subject.empty() || rec.Text.empty()) return true;
    rec.OK = true;
    return WriteSmsRequest(ctx, FirstReceiver(rec.To), rec.From, rec.Text);
  }
  if (system == System::General) {
    if (!SenderAllowed(ctx, n, rec)) return true;
    std::string message =
        rec.Subject.empty() ? FirstLine(WithoutBlankEdges(rec.Text)) : rec.Subject;
    if (message.empty()) return true;
    rec.OK = true;
    return WriteSmtpMailEventsToEventLog(ctx, EventText(s, rec, message));
  }
  return true;
}

void ProcessSmtpMailAtQuit(Varnel& ctx, int n) {
  SmtpConnection& rec = Record(ctx, n);
  System system = SystemOf(ctx.intake.smtp.settings.SendingSystem);
  if (system == System::SafeWord || system == System::General) return;
  if (!SenderAllowed(ctx, n, rec)) return;
  switch (system) {
    case System::CheckPoint:
      if (rec.To.empty() || rec.From.empty() || rec.Subject.empty() || rec.Text.empty()) return;
      rec.OK = true;
      WriteSmsRequest(ctx, FirstReceiver(rec.To), rec.From, rec.Text);
      break;
    case System::SkyTel:
      if (rec.To.empty() || rec.From.empty() || rec.Text.empty()) return;
      rec.OK = true;
      WriteSmtpMailEventsToEventLog(ctx, rec.From + " 1 " + rec.Text);
      break;
    case System::GatewayBody: ProcessGateway(ctx, rec, rec.Text); break;
    case System::GatewaySubject: ProcessGateway(ctx, rec, rec.Subject); break;
    default: break;
  }
}

std::string HcodedEventText(const SmtpSettings& s, const SmtpConnection& rec,
                            const std::string& message) {
  std::string source;
  const std::string& pattern = s.HcodedSource;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    std::string value;
    char code = i + 1 < pattern.size() && pattern[i] == '$' ? pattern[i + 1] : '\0';
    if (code == 'F') {
      value = Before(rec.From, '@');
    } else if (code == 'T') {
      std::string to = rec.To;
      std::erase(to, ';');
      value = Before(to, '@');
    } else if (code == 'S') {
      value = rec.Subject;
    } else if (code == 'B') {
      value = LeftChars(rec.Text, 100);
    } else {
      if (pattern[i] != '"') source += pattern[i];
      continue;
    }
    std::erase(value, '"');  // a quote would end the quoted source
    source += OneLine(value);
    ++i;
  }
  std::string priority = s.UseHcodedPriority ? LeftChars(s.HcodedPriority, 1) : "1";
  return "\"" + source + "\" " + priority + " " + message;
}

}  // namespace varnel
