// MIME decoding of a received mail (GMime): its subject and its plain text, in UTF-8.
#pragma once
#include <string>

namespace varnel {

inline constexpr const char* kMultipartNotice =
    "This is a Multipart message. Only Plain text is supported.";

struct DecodedMail {
  std::string subject;  // encoded words of any charset decoded; empty when there is none
  std::string text;     // the last text/plain part, decoded; see DecodeMime
};

// Parses the mail (headers and body as received after DATA). The text is the decoded content
// of the last part whose type is exactly text/plain (a mail without a Content-Type is one);
// a multipart container sets kMultipartNotice unless a later text/plain part replaces it.
// Transfer encodings are undone and charsets converted to UTF-8; bytes that still are not
// UTF-8 are read as Windows-1252. Line ends of the text are CR LF.
DecodedMail DecodeMime(const std::string& mail);

}  // namespace varnel
