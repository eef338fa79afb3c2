// State of the modem port and of the incoming SMS reader, kept in the service context.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/serial_port.h"

namespace varnel {

struct GsmState {
  // Communication delays in ms, set by every GetModemParameters; 0 before the first.
  std::int16_t ShortCommDelay = 0;
  std::int16_t LongCommDelay = 0;
  // The modem port; a device port is made on first use unless one was given.
  std::unique_ptr<SerialPort> commPortOut;
  // Incoming SMS reader settings loaded when the reader starts.
  std::string SmsStorage = "SM";
  std::string SmsProtocol;
};

}  // namespace varnel
