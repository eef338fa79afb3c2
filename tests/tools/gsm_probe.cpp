// varnel_gsm_probe: drives the SMS transport and the SMS codecs from end-to-end tests.
//
//   varnel_gsm_probe send HOME OPERATOR PHONE RECEIVER MESSAGE
//       one SendToPhoneMO session with the settings of HOME/Varnel.mdb; prints
//       status TAB status text, and the event log entries on stderr
//   varnel_gsm_probe encode
//       reads lines "CODER<TAB>PHONE<TAB>HEX-OF-UTF8-TEXT" (CODER: default, extended,
//       unicode) and prints the PDU that the send path would build for each
//   varnel_gsm_probe decode HOME
//       reads one DELIVER PDU (without service centre field) per line and passes each to
//       DecodePduIncom, which appends to HOME/SmsCmd.log
#include <iostream>
#include <string>
#include <asio/io_context.hpp>

#include "delivery/read_sms.h"
#include "platform/clock.h"
#include "platform/database.h"
#include "platform/event_log.h"
#include "service/errors.h"
#include "transports/gsm_charset.h"
#include "transports/phone_mo.h"

namespace {

using namespace varnel;

std::string FromHex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out(1);
  for (char c : line) {
    if (c == '\t')
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

struct Service {
  explicit Service(const std::string& home) : ctx(io, clock, log, home) {
    ctx.DateFormat = "YYYY-MM-DD";
    Guarded(ctx, "probe", [&] {
      Database db = OpenDatabase(ctx);
      Table g = db.Open("Settings_General");
      ctx.DebugMode = g.Text("DebugMode");
    });
  }
  void PrintLog() {
    for (const auto& e : log.entries) std::cerr << e.id << "\t" << e.text << "\n";
  }
  asio::io_context io;
  SystemClock clock;
  MemoryEventLog log;
  Varnel ctx;
};

int Send(char** argv) {
  Service s(argv[2]);
  std::int16_t status = 0;
  std::string text;
  SendToPhoneMO(s.ctx, argv[3], argv[4], argv[5], argv[6], status, text);
  std::cout << status << "\t" << text << std::endl;
  s.PrintLog();
  return 0;
}

int Encode() {
  std::string line;
  while (std::getline(std::cin, line)) {
    auto f = Fields(line);
    if (f.size() != 3) return 2;
    std::string text = FromHex(f[2]);
    if (f[0] == "default")
      std::cout << CodeMessageToEtsiPduMode(GSM338Default7Bit(text), f[1]) << "\n";
    else if (f[0] == "extended")
      std::cout << CodeMessageToEtsiPduMode(GSM338Default7BitExt(text), f[1]) << "\n";
    else
      std::cout << CodeMessageToUniCodePduMode(text, f[1]) << "\n";
  }
  return 0;
}

int Decode(char** argv) {
  Service s(argv[2]);
  std::string line;
  while (std::getline(std::cin, line)) DecodePduIncom(s.ctx, line);
  s.PrintLog();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "send" && argc == 7) return Send(argv);
  if (mode == "encode" && argc == 2) return Encode();
  if (mode == "decode" && argc == 3) return Decode(argv);
  std::cerr << "usage: varnel_gsm_probe send HOME OPERATOR PHONE RECEIVER MESSAGE | encode | "
               "decode HOME\n";
  return 2;
}
