#include "intake/smtp_mime.h"

#include <gmime/gmime.h>

#include "platform/text.h"

namespace varnel {
namespace {

void InitGMime() {
  static const bool done = [] {
    g_mime_init();
    return true;
  }();
  (void)done;
}

// LF and lone CR line ends become CR LF.
std::string CrLfLines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

struct PartWalk {
  std::string text;
};

void VisitPart(GMimeObject* /*parent*/, GMimeObject* part, gpointer data) {
  auto* walk = static_cast<PartWalk*>(data);
  GMimeContentType* type = g_mime_object_get_content_type(part);
  if (!type) return;
  char* mimeType = g_mime_content_type_get_mime_type(type);
  std::string upper = ToUpper(mimeType ? mimeType : "");
  g_free(mimeType);
  if (upper.find("MULTIPART") != std::string::npos) {
    walk->text = kMultipartNotice;
  } else if (upper == "TEXT/PLAIN" && GMIME_IS_TEXT_PART(part)) {
    char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(part));
    walk->text = text ? text : "";
    g_free(text);
  }
}

}  // namespace

DecodedMail DecodeMime(const std::string& mail) {
  InitGMime();
  DecodedMail out;
  GMimeStream* stream = g_mime_stream_mem_new_with_buffer(mail.data(), mail.size());
  GMimeParser* parser = g_mime_parser_new_with_stream(stream);
  g_object_unref(stream);
  GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
  g_object_unref(parser);
  if (!message) {  // no header block at all: the whole text is the body
    out.text = CrLfLines(FromWire(mail));
    return out;
  }
  if (const char* subject = g_mime_message_get_subject(message)) out.subject = FromWire(subject);
  PartWalk walk;
  g_mime_message_foreach(message, VisitPart, &walk);
  g_object_unref(message);
  out.text = CrLfLines(FromWire(walk.text));
  return out;
}

}  // namespace varnel
