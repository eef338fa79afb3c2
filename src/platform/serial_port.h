// Serial ports: the operations the modem and alarm-panel code need of a port.
#pragma once
#include <cstddef>
#include <string>

namespace varnel {

// Classic serial-port error numbers.
namespace serr {
constexpr int kInvalidProperty = 380;     // "Invalid property value"
constexpr int kDeviceIo = 57;             // "Device I/O error"
constexpr int kInvalidPortNumber = 8002;  // "Invalid port number"
constexpr int kPortAlreadyOpen = 8005;    // "Port already open"
constexpr int kHardwareUnavailable =
    8010;                           // "The hardware is not available (locked by another device)"
constexpr int kPortNotOpen = 8012;  // "The device is not open"
constexpr int kCommState = 8015;    // "Could not set comm state"
}  // namespace serr

// Handshaking modes 0 to 3.
enum Handshaking { kNoHandshaking = 0, kXonXoff = 1, kRtsCts = 2, kXonXoffRtsCts = 3 };

// One serial port. Line settings, port number and the RTS/DTR lines may be set while the
// port is closed; they take effect when it opens. Every failure raises VarnelError.
class SerialPort {
 public:
  virtual ~SerialPort() = default;

  virtual void SetPortNumber(int number) = 0;
  virtual int PortNumber() const = 0;
  // "speed,parity,data bits,stop bits", for example "9600,n,8,1".
  virtual void SetSettings(const std::string& settings) = 0;
  virtual void SetHandshaking(int mode) = 0;

  virtual bool IsOpen() const = 0;
  virtual void Open() = 0;
  virtual void Close() = 0;

  virtual bool Rts() const = 0;
  virtual void SetRts(bool on) = 0;
  virtual bool Dtr() const = 0;
  virtual void SetDtr(bool on) = 0;
  // Carrier detect. A device without modem lines reports the carrier the modem's result
  // codes announce: high from "CONNECT" until "NO CARRIER", a hang-up command or closing.
  virtual bool CarrierDetect() = 0;

  // Bytes waiting in the input buffer.
  virtual std::size_t InputCount() = 0;
  // Removes and returns everything waiting in the input buffer.
  virtual std::string ReadAll() = 0;
  virtual void DiscardInput() = 0;
  virtual void DiscardOutput() = 0;
  // Writes the bytes (one byte per character of the wire text).
  virtual void Write(const std::string& bytes) = 0;
};

// Line settings parsed from the settings text.
struct LineSettings {
  unsigned speed = 9600;
  char parity = 'n';  // n, e, o, m, s
  int dataBits = 8;   // 5..8
  int stopBits = 1;   // 1 or 2 (1.5 is taken as 2)
};
// Raises kInvalidProperty for a text that is not a valid setting.
LineSettings ParseLineSettings(const std::string& settings);

// The device of port number n: programDir/ports/COMn when that name exists (even as a
// dangling link, so a vanished device fails instead of falling back), else /dev/ttyS<n-1>.
std::string SerialDevicePath(const std::string& programDir, int number);

}  // namespace varnel
