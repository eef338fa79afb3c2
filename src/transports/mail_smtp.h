// Mail through an SMTP relay (libcurl), with the relay's settings from Settings_Mail_SMTP.
#pragma once
#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "service/varnel.h"

namespace varnel {

// The word of MailSubject that makes the subject the start of the message.
inline constexpr const char* kSubjectFromMessage = "The Message (max 100 chr)";

// A mail as it is put on the wire.
struct MailMessage {
  std::string sender;         // From, and the envelope sender
  std::string recipient;      // To, and the envelope recipient
  std::string recipientName;  // display name of To
  std::string subject;
  std::string priority;  // X-Priority "1", "3", "4", or empty for none
  std::string charset;   // character set of the body; empty or unknown means UTF-8
  std::string body;      // lines separated by CR LF
};

// The RFC 5322 text of a mail, with CR LF line ends, written by GMime: Date, From, To,
// Subject (display names and subject as RFC 2047 words when they are not plain ASCII),
// Message-ID, X-Priority, MIME headers, and the body as quoted-printable in the mail's
// character set.
std::string ComposeMail(const MailMessage& mail, const LocalTime& date,
                        const std::string& messageId);

// Sends message to address through the mail server named in mailServers ("name" or
// "primary;secondary"). The message's ">>" become line breaks. status kSent or kSendFailed;
// statusText says why.
void SendMailSMTP(Varnel& ctx, const std::string& mailServers, const std::string& receiverName,
                  const std::string& address, std::string& message, std::int16_t& status,
                  std::string& statusText);

}  // namespace varnel
