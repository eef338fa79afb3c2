#include "transports/espa.h"

#include "platform/event_loop.h"
#include "platform/text.h"
#include "service/errors.h"
#include "service/trace.h"
#include "transports/ansi_text.h"
#include "transports/modem.h"

namespace varnel {
namespace {

constexpr char kSoh = 1, kStx = 2, kEtx = 3, kEot = 4, kEnq = 5, kRs = 30, kUs = 31;

void Write(Varnel& ctx, const std::string& bytes) {
  SerialPort& port = ModemPort(ctx);
  port.DiscardOutput();
  port.DiscardInput();
  port.Write(bytes);
}

void Sent(Varnel& ctx, const std::string& shown) {
  ModemTrace(ctx, {TraceTimestamp(ctx) + "    Sending:  " + shown + " --> OK."});
}

}  // namespace

std::string EspaPagingBlock(const std::string& number, const std::string& text) {
  std::string data =
      std::string("1") + kStx + "1" + kUs + ToAnsiBytes(number) + kRs + "2" + kUs + text + kEtx;
  unsigned char bcc = 0;
  for (char c : data) bcc ^= static_cast<unsigned char>(c);
  return kSoh + data + static_cast<char>(bcc);
}

void SendMessage_ESPA_444(Varnel& ctx, const std::string& command, const std::string& pollAddress,
                          const std::string& number, const std::string& text) {
  Guarded(ctx, "SendMessage_ESPA_444", [&] {
    if (command == "InitPoll") {
      const std::string address = pollAddress.empty() ? "2" : pollAddress;
      Write(ctx, std::string(3, kEot));
      Delay(ctx.io, 2 * ctx.gsm.ShortCommDelay);
      Write(ctx, std::string("1") + kEnq);
      Delay(ctx.io, ctx.gsm.ShortCommDelay);
      Write(ctx, ToAnsiBytes(address) + kEnq);
      Sent(ctx, "<EOT><EOT><EOT>1<ENQ>" + address + "<ENQ>");
    } else if (command == "PagingBlock") {
      const std::string frame = EspaPagingBlock(number, text);
      Write(ctx, frame);
      Sent(ctx, FromWire(TranslateControlCodes(frame)));
    } else if (command == "Quit") {
      Write(ctx, std::string(1, kEot));
      Sent(ctx, "<EOT>");
    }
  });
}

}  // namespace varnel
