// Fuzz target: the SMTP dialogue of one connection fed arbitrary bytes under each sending
// system (commands, mail bounds, MIME decoding and the processing at QUIT), and the MIME
// decoder on the raw bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "intake/smtp_dialogue.h"
#include "intake/smtp_mime.h"
#include "platform/files.h"
#include "support/program_home.h"

namespace {

// A connection without a socket: replies are only checked for their bound.
class Peer : public varnel::SmtpPeer {
 public:
  bool Connected() const override { return connected; }
  void Send(const std::string& text) override {
    if (text.size() > varnel::kMaxMailLine + 64) std::abort();
  }
  void Disconnect() override { connected = false; }
  bool connected = true;
};

const char* const kSystems[] = {"",       "Check Point Mobile Access", "SafeWord",
                                "SkyTel", "SMS Gateway - Body",        "SMS Gateway - Subject"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static varnel::testing::ProgramHome home;
  if (size < 1) return 0;
  varnel::Varnel& ctx = home.ctx;
  varnel::SmtpSettings& s = ctx.intake.smtp.settings;
  s.SendingSystem = kSystems[data[0] % 6];
  s.UseEventFilter = data[0] & 8;
  s.UseHcodedSource = data[0] & 16;
  s.HcodedSource = "$F-$T-$S-$B";
  s.UseHcodedPriority = data[0] & 32;
  s.HcodedPriority = "2 - Major";
  s.AccessListFrom = data[0] & 64 ? "*@example.org" : "*";
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  Peer peer;
  varnel::smtpServer_Connected(ctx, 1, peer, "127.0.0.1");
  varnel::SmtpLineReader reader;
  reader.Feed(bytes.data(), bytes.size(), [&](const std::string& line, bool overlong) {
    if (peer.connected) varnel::smtpServer_DataIn(ctx, 1, peer, line, overlong);
    if (ctx.intake.smtp.connections[1].Mail.size() > varnel::kMaxMailText) std::abort();
  });
  varnel::smtpServer_Disconnected(ctx, 1, "end of input");
  varnel::DecodeMime(bytes);
  for (const char* name : {"Event.log", "SmtpMess.log"})
    if (varnel::FileExists(ctx.Path(name))) varnel::DeleteFile(ctx.Path(name));
  return 0;
}
