// State of the event intake: the Syslog input queue and listeners.
#pragma once
#include <array>
#include <memory>
#include <string>

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

struct IntakeState {
  SyslogIntake syslog;
};

}  // namespace varnel
