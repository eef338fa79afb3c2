// The alarm panel's serial port: opened as a listener, read by the main cycle, its output cut
// into events by panel type. A device that goes away is reopened when it comes back.
#pragma once
#include <string>

#include "service/varnel.h"

namespace varnel {

class Table;

// Handshaking words, in the order of the serial port's handshaking modes.
inline constexpr const char* kHandshakingWords[] = {"No Handshaking", "XON/XOFF", "RTS/CTS",
                                                    "XON/XOFF and RTS/CTS"};

// Opens the port from the Event_CommPort row; returns the started status text.
std::string OpenCommPort(Varnel& ctx, Table& settings);
void CloseCommPort(Varnel& ctx);

// Reads what the port has received and appends one event per complete panel message.
void WriteCommPortEventsToEventList(Varnel& ctx);

}  // namespace varnel
