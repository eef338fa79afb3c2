// State of the modem port and of the incoming SMS reader, kept in the service context.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "platform/serial_port.h"

namespace varnel {

// At most this many lines wait; a further message is reported as lost.
constexpr std::size_t kMaxUnstoredSms = 500;

struct GsmState {
  // Communication delays in ms, set by every GetModemParameters; 0 before the first.
  std::int16_t ShortCommDelay = 0;
  std::int16_t LongCommDelay = 0;
  // The modem port; a device port is made on first use unless one was given.
  std::unique_ptr<SerialPort> commPortOut;
  // Incoming SMS reader settings loaded when the reader starts.
  std::string SmsStorage = "SM";
  std::string SmsProtocol;
  // Lines of received messages not yet written to SmsCmd.log (the disk was full): the
  // messages are deleted from the terminal, so they wait here for the next read.
  std::deque<std::string> UnstoredSms;
};

}  // namespace varnel
