#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/error.h"
#include "platform/posix_serial_port.h"
#include "platform/text.h"

namespace varnel {
namespace {

// Longest time a write may wait for room in the device's output queue.
constexpr int kWriteWaitMs = 2000;

VarnelError NotOpen() { return VarnelError(serr::kPortNotOpen, "The device is not open"); }

VarnelError DeviceIo(int errnum) {
  return VarnelError(
      serr::kDeviceIo,
      std::string("Device I/O error") + (errnum ? ": " + std::string(std::strerror(errnum)) : ""));
}

bool NoModemLines(int errnum) { return errnum == ENOTTY || errnum == EINVAL; }

// Result codes that switch the carrier of a device without modem lines.
constexpr std::string_view kConnect = "CONNECT";
constexpr std::string_view kNoCarrier = "NO CARRIER";
// Commands that hang up: ATH (ATH0) and the voice-call hang-up AT+CHUP.
constexpr std::string_view kHangUps[] = {"ATH", "AT+CHUP"};
constexpr std::size_t kTailKept = kNoCarrier.size() - 1;

// The end of a scanned text that may begin a word completed by the next piece.
std::string Tail(std::string_view window) {
  return std::string(window.substr(window.size() - std::min(window.size(), kTailKept)));
}

speed_t SpeedConstant(unsigned speed) {
  struct Entry {
    unsigned value;
    speed_t constant;
  };
  static const Entry kSpeeds[] = {
      {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
      {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
      {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
      {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600}};
  for (const auto& e : kSpeeds)
    if (e.value == speed) return e.constant;
  return B0;
}

}  // namespace

LineSettings ParseLineSettings(const std::string& settings) {
  auto invalid = [] { return VarnelError(serr::kInvalidProperty, "Invalid property value"); };
  std::string parts[4];
  std::size_t n = 0, start = 0;
  for (;;) {
    std::size_t comma = settings.find(',', start);
    if (n == 4) throw invalid();
    parts[n++] = Trim(
        settings.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (n != 4) throw invalid();
  auto number = [&](const std::string& s) -> long {
    if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos)
      throw invalid();
    return std::strtol(s.c_str(), nullptr, 10);
  };
  LineSettings ls;
  ls.speed = static_cast<unsigned>(number(parts[0]));
  if (SpeedConstant(ls.speed) == B0) throw invalid();
  std::string parity = ToLower(parts[1]);
  if (parity.size() != 1 || std::string("neoms").find(parity[0]) == std::string::npos)
    throw invalid();
  ls.parity = parity[0];
  ls.dataBits = static_cast<int>(number(parts[2]));
  if (ls.dataBits < 5 || ls.dataBits > 8) throw invalid();
  if (parts[3] == "1")
    ls.stopBits = 1;
  else if (parts[3] == "2" || parts[3] == "1.5")
    ls.stopBits = 2;
  else
    throw invalid();
  return ls;
}

std::string SerialDevicePath(const std::string& programDir, int number) {
  std::string link = programDir + "/ports/COM" + std::to_string(number);
  struct stat st {};
  if (::lstat(link.c_str(), &st) == 0) return link;
  return "/dev/ttyS" + std::to_string(number - 1);
}

PosixSerialPort::PosixSerialPort(asio::io_context& io, std::string programDir)
    : port_(io), programDir_(std::move(programDir)) {}

PosixSerialPort::~PosixSerialPort() {
  std::error_code ec;
  port_.close(ec);
}

int PosixSerialPort::Fd() {
  if (!port_.is_open()) throw NotOpen();
  return port_.native_handle();
}

void PosixSerialPort::SetPortNumber(int number) {
  if (port_.is_open()) throw VarnelError(8000, "Operation not valid while the port is opened");
  if (number < 1 || number > 255) {
    number_ = 0;  // a rejected number must not leave an earlier device selected
    throw VarnelError(serr::kInvalidPortNumber, "Invalid port number");
  }
  number_ = number;
}

void PosixSerialPort::SetSettings(const std::string& settings) {
  settings_ = ParseLineSettings(settings);
  if (port_.is_open()) ApplyLineSettings();
}

void PosixSerialPort::SetHandshaking(int mode) {
  if (mode < kNoHandshaking || mode > kXonXoffRtsCts)
    throw VarnelError(serr::kInvalidProperty, "Invalid property value");
  handshaking_ = mode;
  if (port_.is_open()) ApplyLineSettings();
}

void PosixSerialPort::ApplyLineSettings() {
  int fd = Fd();
  termios t{};
  if (::tcgetattr(fd, &t) != 0) throw VarnelError(serr::kCommState, "Could not set comm state");
  ::cfmakeraw(&t);
  t.c_cflag |= CREAD | CLOCAL;
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= kSizes[settings_.dataBits - 5];
  switch (settings_.parity) {
    case 'e': t.c_cflag |= PARENB; break;
    case 'o': t.c_cflag |= PARENB | PARODD; break;
    case 'm': t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 's': t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  if (settings_.stopBits == 2) t.c_cflag |= CSTOPB;
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  if (handshaking_ == kXonXoff || handshaking_ == kXonXoffRtsCts) t.c_iflag |= IXON | IXOFF;
  if (handshaking_ == kRtsCts || handshaking_ == kXonXoffRtsCts) t.c_cflag |= CRTSCTS;
  // With VMIN 1 a non-blocking read of an empty queue says EAGAIN, and 0 means hang-up.
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  ::cfsetspeed(&t, SpeedConstant(settings_.speed));
  if (::tcsetattr(fd, TCSANOW, &t) != 0)
    throw VarnelError(serr::kCommState, "Could not set comm state");
}

void PosixSerialPort::Open() {
  if (port_.is_open()) throw VarnelError(serr::kPortAlreadyOpen, "Port already open");
  if (number_ < 1) throw VarnelError(serr::kInvalidPortNumber, "Invalid port number");
  std::error_code ec;
  port_.open(SerialDevicePath(programDir_, number_), ec);
  if (ec) {
    int e = ec.value();
    if (e == EBUSY) throw VarnelError(serr::kPortAlreadyOpen, "Port already open");
    if (e == EACCES || e == EPERM)
      throw VarnelError(serr::kHardwareUnavailable,
                        "The hardware is not available (locked by another device)");
    throw VarnelError(serr::kInvalidPortNumber, "Invalid port number");
  }
  try {
    ApplyLineSettings();
    ApplyModemLine(TIOCM_DTR, dtr_);
    ApplyModemLine(TIOCM_RTS, rts_);
  } catch (...) {
    port_.close(ec);
    throw;
  }
  input_.clear();
  textCarrier_ = false;
  receivedTail_.clear();
}

void PosixSerialPort::Close() {
  if (!port_.is_open()) return;
  // Output that could not drain (a device that does not read) would make close wait.
  ::tcflush(port_.native_handle(), TCOFLUSH);
  std::error_code ec;
  port_.close(ec);
  input_.clear();
  textCarrier_ = false;
}

void PosixSerialPort::FollowResultCodes(std::string_view received) {
  std::string window = receivedTail_;
  window.append(received);
  std::size_t up = window.rfind(kConnect), down = window.rfind(kNoCarrier);
  if (up != std::string::npos || down != std::string::npos)
    textCarrier_ = up != std::string::npos && (down == std::string::npos || up > down);
  receivedTail_ = Tail(window);
}

void PosixSerialPort::FollowCommands(std::string_view written) {
  // A command is one write; text sent while connected (a message saying "PATH down") is
  // not a command.
  std::string line = ToUpper(written.substr(0, 16));
  line.erase(0, line.find_first_not_of("\r\n"));
  for (std::string_view hangUp : kHangUps) {
    if (line.rfind(hangUp, 0) != 0) continue;
    textCarrier_ = false;
    receivedTail_.clear();  // a CONNECT read before the hang-up must not count again
  }
}

void PosixSerialPort::ApplyModemLine(int line, bool on) {
  if (!port_.is_open()) return;  // applied when the port opens
  int bits = line;
  if (::ioctl(Fd(), on ? TIOCMBIS : TIOCMBIC, &bits) != 0 && !NoModemLines(errno))
    throw DeviceIo(errno);
}

void PosixSerialPort::SetRts(bool on) {
  ApplyModemLine(TIOCM_RTS, on);
  rts_ = on;
}

void PosixSerialPort::SetDtr(bool on) {
  ApplyModemLine(TIOCM_DTR, on);
  dtr_ = on;
}

bool PosixSerialPort::CarrierDetect() {
  int bits = 0;
  if (::ioctl(Fd(), TIOCMGET, &bits) != 0) {
    if (!NoModemLines(errno)) throw DeviceIo(errno);
    Drain();
    return textCarrier_;
  }
  return (bits & TIOCM_CAR) != 0;
}

void PosixSerialPort::Drain() {
  int fd = Fd();
  char chunk[4096];
  while (input_.size() < kInputLimit) {
    std::size_t room = std::min(sizeof chunk, kInputLimit - input_.size());
    ssize_t n = ::read(fd, chunk, room);
    if (n > 0) {
      input_.append(chunk, static_cast<std::size_t>(n));
      FollowResultCodes(std::string_view(chunk, static_cast<std::size_t>(n)));
      continue;
    }
    if (n == 0) throw DeviceIo(0);  // hung up: the device has gone
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return;
    throw DeviceIo(errno);
  }
}

std::size_t PosixSerialPort::InputCount() {
  Drain();
  return input_.size();
}

std::string PosixSerialPort::ReadAll() {
  Drain();
  std::string out;
  out.swap(input_);
  return out;
}

void PosixSerialPort::DiscardInput() {
  ::tcflush(Fd(), TCIFLUSH);
  input_.clear();
}

void PosixSerialPort::DiscardOutput() { ::tcflush(Fd(), TCOFLUSH); }

void PosixSerialPort::Write(const std::string& bytes) {
  int fd = Fd();
  FollowCommands(bytes);
  std::size_t done = 0;
  int waited = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) throw DeviceIo(errno);
    // The output queue is full (flow control or a device that does not read).
    if (waited >= kWriteWaitMs) throw DeviceIo(ETIMEDOUT);
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, 20);
    waited += 20;
  }
}

}  // namespace varnel
