// State of the event intake: the Syslog input queue and listeners, the alarm panel port.
#pragma once
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "platform/slots.h"

namespace varnel {

class UdpListener;
class TcpListener;

constexpr int kMaxQueuedSyslog = 300;

struct SyslogQueueItem {
  std::string time;    // arrival "YYYY-MM-DD HH:MM:SS"
  std::string source;  // sender address
  std::string text;    // the message as it arrived
};

struct SyslogIntake {
  Slots<SyslogQueueItem, kMaxQueuedSyslog> queue;  // 1..300
  int InSysLogIndex = 1;                           // next free entry; 1 means empty
  long dropped = 0;  // messages lost to a full queue since the last drain
  // Listener 1 and 2; at most one of the two kinds is open per listener.
  std::array<std::shared_ptr<UdpListener>, 2> udp{};
  std::array<std::shared_ptr<TcpListener>, 2> tcp{};
};

// The serial port of the alarm panel and what it has received but not yet cut into messages.
struct PanelIntake {
  std::unique_ptr<SerialPort> commPortIn;  // a device port is made when the listener opens
  std::string PanelType;                   // "Cerberus CS1140", "Nokia NMS/10", "Tecoma" or ""
  std::string buffer;                      // the start of a message whose rest has not come
  std::vector<std::string> details;        // port, settings and handshaking lines of the status

  // Drops what has arrived: the port's input and the incomplete message.
  void EmptyReceiveBuffer() {
    buffer.clear();
    if (commPortIn && commPortIn->IsOpen()) commPortIn->DiscardInput();
  }
};

struct IntakeState {
  SyslogIntake syslog;
  PanelIntake panel;
};

}  // namespace varnel
