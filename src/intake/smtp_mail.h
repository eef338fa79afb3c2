// What a received mail becomes, by the configured sending system: an "Event.log" line, direct
// SMS requests in "SmtpMess.log", or nothing. The scanning rules are at the top of the source.
#pragma once
#include <string>

#include "service/varnel.h"

namespace varnel {

// Fills Subject and Text of a record from the mail it holds.
void ScanSmtpMail(Varnel& ctx, SmtpConnection& rec);

// The end of each mail, for the systems that act per mail ("SafeWord" and the general case).
// False when the mail was to be stored and could not be (a full disk): the client is then told
// to send it again later instead of being told it was accepted.
bool ProcessSmtpMailAtEnd(Varnel& ctx, int n);
// QUIT, for the other named systems: the last mail of the connection.
void ProcessSmtpMailAtQuit(Varnel& ctx, int n);

// The event text of a mail message with UseHcodedSource set: a quoted source, a priority
// digit and the message ($F, $T, $S and $B of HcodedSource replaced).
std::string HcodedEventText(const SmtpSettings& s, const SmtpConnection& rec,
                            const std::string& message);

}  // namespace varnel
