// An in-process GSM terminal on the modem port for unit tests. It answers the AT commands
// of the SMS sessions, keeps a message store, can be told to answer ERROR, stay silent,
// flood the line or vanish, and moves the fake clock on every poll so that time-outs pass
// without real waiting.
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/serial_port.h"

namespace varnel::testing {

class ScriptedTerminal : public SerialPort {
 public:
  explicit ScriptedTerminal(FakeClock& clock) : clock_(clock) {}

  // --- how the terminal behaves ---
  std::string signal = "17,99";         // +CSQ answer
  std::set<std::string> errorTo;        // commands answered "ERROR"
  std::set<std::string> silentTo;       // commands not answered at all
  std::map<std::string, int> failTimes; // commands answered ERROR this many times, then OK
  bool echo = true;
  bool openFails = false;
  bool vanished = false;               // reads and writes fail as on a removed device
  std::string flood;                   // sent again on every poll when not empty
  bool carrier = false;
  int bodyErrors = 0;                  // bodies refused with ERROR (the prompt stays)
  std::uint64_t msPerPoll = 500;       // fake time that passes per input poll
  std::map<int, std::string> store;    // index -> listed PDU
  std::map<std::string, std::string> replyTo;  // exact reply (after the echo) to a command
  std::string vanishAfter;             // the device disappears once it has seen this

  // --- what it saw ---
  std::vector<std::string> commands;   // every line or body written, without terminator
  std::vector<std::string> bodies;     // texts ended by Ctrl-Z
  std::vector<std::string> writes;     // raw writes
  int opens = 0;
  int closes = 0;
  int handshaking = -1;
  std::string settings;

  void AddMessage(int index, const std::string& pdu) { store[index] = pdu; }

  void SetPortNumber(int number) override {
    if (number < 1) throw VarnelError(serr::kInvalidPortNumber, "Invalid port number");
    number_ = number;
  }
  int PortNumber() const override { return number_; }
  void SetSettings(const std::string& s) override {
    ParseLineSettings(s);
    settings = s;
  }
  void SetHandshaking(int mode) override { handshaking = mode; }
  bool IsOpen() const override { return open_; }
  void Open() override {
    if (openFails || vanished) throw VarnelError(serr::kInvalidPortNumber, "Invalid port number");
    open_ = true;
    ++opens;
  }
  void Close() override {
    open_ = false;
    ++closes;
  }
  bool Rts() const override { return rts_; }
  void SetRts(bool on) override { rts_ = on; }
  bool Dtr() const override { return dtr_; }
  void SetDtr(bool on) override { dtr_ = on; }
  bool CarrierDetect() override {
    Check();
    return carrier;
  }
  std::size_t InputCount() override {
    Check();
    clock_.AdvanceMs(msPerPoll);
    if (!flood.empty()) input_ += flood;
    return input_.size();
  }
  std::string ReadAll() override {
    Check();
    std::string out;
    out.swap(input_);
    return out;
  }
  void DiscardInput() override {
    Check();
    input_.clear();
  }
  void DiscardOutput() override { Check(); }
  void Write(const std::string& bytes) override {
    Check();
    writes.push_back(bytes);
    line_ += bytes;
    for (;;) {
      std::size_t end = line_.find(bodyMode_ ? '\x1A' : '\r');
      if (end == std::string::npos) break;
      std::string text = line_.substr(0, end);
      line_.erase(0, end + 1);
      if (!line_.empty() && line_[0] == '\n') line_.erase(0, 1);
      if (bodyMode_) {
        text.erase(0, text.find_first_not_of("\r\n"));  // a time-out's CR before the body
        commands.push_back(text);
        bodies.push_back(text);
        if (bodyErrors > 0) {
          --bodyErrors;
          input_ += "\r\nERROR\r\n";
          continue;
        }
        bodyMode_ = false;
        input_ += "\r\n+CMGS: 7\r\n\r\nOK\r\n";
      } else if (!text.empty()) {
        Command(text);
      }
    }
  }

 private:
  void Check() const {
    if (vanished) throw VarnelError(serr::kDeviceIo, "Device I/O error");
    if (!open_) throw VarnelError(serr::kPortNotOpen, "The device is not open");
  }

  void Command(const std::string& cmd) {
    commands.push_back(cmd);
    if (cmd == vanishAfter) vanished = true;
    if (silentTo.count(cmd)) return;
    if (echo) input_ += cmd + "\r";
    if (auto it = replyTo.find(cmd); it != replyTo.end()) {
      input_ += it->second;
      return;
    }
    if (errorTo.count(cmd)) {
      input_ += "\r\nERROR\r\n";
      return;
    }
    if (auto it = failTimes.find(cmd); it != failTimes.end() && it->second > 0) {
      --it->second;
      input_ += "\r\nERROR\r\n";
      return;
    }
    if (cmd == "AT+CSQ") {
      input_ += "\r\n+CSQ: " + signal + "\r\n\r\nOK\r\n";
    } else if (cmd.rfind("AT+CMGS=", 0) == 0) {
      bodyMode_ = true;
      input_ += "\r\n> ";
    } else if (cmd == "AT+CMGL=4") {
      for (const auto& [index, pdu] : store)
        input_ += "\r\n+CMGL: " + std::to_string(index) + ",0,," +
                  std::to_string(pdu.size() / 2) + "\r\n" + pdu;
      input_ += "\r\n\r\nOK\r\n";
    } else if (cmd.rfind("AT+CMGD=", 0) == 0) {
      store.erase(std::stoi(cmd.substr(8)));
      input_ += "\r\nOK\r\n";
    } else {
      input_ += "\r\nOK\r\n";
    }
  }

  FakeClock& clock_;
  int number_ = 0;
  bool open_ = false;
  bool rts_ = false;
  bool dtr_ = false;
  bool bodyMode_ = false;
  std::string line_;
  std::string input_;
};

}  // namespace varnel::testing
