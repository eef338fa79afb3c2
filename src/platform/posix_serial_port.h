// The Linux serial device behind a SerialPort: asio::serial_port, termios and the
// modem-line ioctls on a tty (a pty in tests).
#pragma once
#include <asio/io_context.hpp>
#include <asio/serial_port.hpp>
#include <string>
#include <string_view>

#include "platform/serial_port.h"

namespace varnel {

// A serial device driven through asio::serial_port and termios. Input is read without
// blocking when asked for and held in a bounded buffer; bytes beyond it stay in the kernel.
class PosixSerialPort : public SerialPort {
 public:
  static constexpr std::size_t kInputLimit = 64 * 1024;

  PosixSerialPort(asio::io_context& io, std::string programDir);
  ~PosixSerialPort() override;

  void SetPortNumber(int number) override;
  int PortNumber() const override { return number_; }
  void SetSettings(const std::string& settings) override;
  void SetHandshaking(int mode) override;

  bool IsOpen() const override { return port_.is_open(); }
  void Open() override;
  void Close() override;

  bool Rts() const override { return rts_; }
  void SetRts(bool on) override;
  bool Dtr() const override { return dtr_; }
  void SetDtr(bool on) override;
  bool CarrierDetect() override;

  std::size_t InputCount() override;
  std::string ReadAll() override;
  void DiscardInput() override;
  void DiscardOutput() override;
  void Write(const std::string& bytes) override;

 private:
  int Fd();
  void ApplyLineSettings();
  void ApplyModemLine(int line, bool on);
  void Drain();
  void FollowResultCodes(std::string_view received);
  void FollowCommands(std::string_view written);

  asio::serial_port port_;
  std::string programDir_;
  int number_ = 0;  // none chosen yet
  LineSettings settings_;
  int handshaking_ = kNoHandshaking;
  bool rts_ = false;
  bool dtr_ = false;
  std::string input_;
  // Carrier on a device without modem lines, taken from the modem's result codes; the tail
  // keeps a code that arrives split over two reads.
  bool textCarrier_ = false;
  std::string receivedTail_;
};

}  // namespace varnel
