// Fixture for modem sessions: the test program directory with a modem record, and an
// in-process GSM terminal in place of the modem port.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/serial_port.h"
#include "support/test_support.h"

namespace varnel::testing {

// Answers the AT commands of the SMS sessions and keeps a message store. It can be given
// exact replies (an empty one is silence) and refuse message bodies, and
// moves the fake clock on every poll so that time-outs pass without real waiting.
class ScriptedTerminal : public SerialPort {
 public:
  explicit ScriptedTerminal(FakeClock& clock) : clock_(clock) {}

  std::map<std::string, std::string> replyTo;  // exact reply after the echo of a command
  std::map<int, std::string> store;            // index -> listed PDU
  bool openFails = false;
  int bodyErrors = 0;  // bodies refused with ERROR (the prompt stays)

  std::vector<std::string> commands;  // every line or Ctrl-Z body written, without terminator
  int opens = 0;

  void SetPortNumber(int number) override { number_ = number; }
  int PortNumber() const override { return number_; }
  void SetSettings(const std::string& s) override { ParseLineSettings(s); }
  void SetHandshaking(int) override {}
  bool IsOpen() const override { return open_; }
  void Open() override {
    if (openFails) throw VarnelError(serr::kInvalidPortNumber, "Invalid port number");
    open_ = true;
    ++opens;
  }
  void Close() override { open_ = false; }
  bool Rts() const override { return rts_; }
  void SetRts(bool on) override { rts_ = on; }
  bool Dtr() const override { return dtr_; }
  void SetDtr(bool on) override { dtr_ = on; }
  bool CarrierDetect() override { return Check(), false; }
  std::size_t InputCount() override { return Check(), clock_.AdvanceMs(500), input_.size(); }
  std::string ReadAll() override { return Check(), std::exchange(input_, {}); }
  void DiscardInput() override { Check(), input_.clear(); }
  void DiscardOutput() override { Check(); }
  void Write(const std::string& bytes) override {
    Check();
    line_ += bytes;
    for (std::size_t end; (end = line_.find(bodyMode_ ? '\x1A' : '\r')) != std::string::npos;) {
      std::string text = line_.substr(0, end);
      line_.erase(0, end + 1);
      if (!line_.empty() && line_[0] == '\n') line_.erase(0, 1);
      if (bodyMode_) {
        text.erase(0, text.find_first_not_of("\r\n"));  // a time-out's CR before the body
        commands.push_back(text);
        bodyMode_ = bodyErrors > 0;  // a refused body may be sent again
        if (bodyMode_) --bodyErrors;
        input_ += bodyMode_ ? "\r\nERROR\r\n" : "\r\n+CMGS: 7\r\n\r\nOK\r\n";
      } else if (!text.empty()) {
        Command(text);
      }
    }
  }

 private:
  void Check() const {
    if (!open_) throw VarnelError(serr::kPortNotOpen, "The device is not open");
  }

  void Command(const std::string& cmd) {
    commands.push_back(cmd);
    input_ += cmd + "\r";  // the echo
    if (auto it = replyTo.find(cmd); it != replyTo.end()) {
      input_ += it->second;
    } else if (cmd == "AT+CSQ") {
      input_ += "\r\n+CSQ: 17,99\r\n\r\nOK\r\n";
    } else if (cmd.rfind("AT+CMGS=", 0) == 0) {
      bodyMode_ = true;
      input_ += "\r\n> ";
    } else if (cmd == "AT+CMGL=4") {
      for (const auto& [index, pdu] : store)
        input_ += "\r\n+CMGL: " + std::to_string(index) + ",0,," + std::to_string(pdu.size() / 2) +
                  "\r\n" + pdu;
      input_ += "\r\n\r\nOK\r\n";
    } else {
      if (cmd.rfind("AT+CMGD=", 0) == 0) store.erase(std::stoi(cmd.substr(8)));
      input_ += "\r\nOK\r\n";
    }
  }

  FakeClock& clock_;
  int number_ = 0;
  bool open_ = false, rts_ = false, dtr_ = false, bodyMode_ = false;
  std::string line_, input_;
};

class ModemTest : public VarnelTest {
 protected:
  ModemTest() {
    ctx.gsm.commPortOut = std::make_unique<ScriptedTerminal>(clock);
    term = static_cast<ScriptedTerminal*>(ctx.gsm.commPortOut.get());
    // No delay word: the delays stay 0 and the sessions run fast.
    Update("Settings_Modem",
           "CommPort = '1', ModemInitString = 'ATZ', ModemSpeed = '9600', ModemSettings = 'n,8,1', "
           "ModemCommDelays = '', Retries = '1'");
    clock.AdvanceMs(1'000'000);
  }
  ScriptedTerminal* term;
};

}  // namespace varnel::testing
