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
class SmtpServer;

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

constexpr int kSmtpConnections = 9;  // connection numbers 1..9

// The Event_SMTP settings that the listener's handlers use, loaded when it opens.
struct SmtpSettings {
  std::string SendingSystem, PhoneMoOper, HcodedSource, HcodedPriority;
  bool UseEventFilter = false, UseHcodedSource = false, UseHcodedPriority = false;
  std::string AccessListIp = "*", AccessListFrom = "*";
};

// One connection's record. It is cleared at connect and kept after the disconnect, so the
// last mail of a number can still be looked at.
struct SmtpConnection {
  std::string Host;     // client address
  std::string From;     // envelope sender
  std::string To;       // recipients, each preceded by ";"
  std::string Subject;  // decoded subject of the last mail
  std::string Text;     // decoded text of the last mail
  bool OK = false;      // the mail was accepted for processing
  // Dialogue state: between DATA and the end of the mail, its raw text, and whether it
  // outgrew the bounds (then it is answered 552 and not processed).
  bool InData = false;
  std::string Mail;
  bool TooBig = false;
};

struct SmtpIntake {
  SmtpSettings settings;
  Slots<SmtpConnection, kSmtpConnections> connections;
  std::shared_ptr<SmtpServer> server;
};

struct IntakeState {
  SyslogIntake syslog;
  PanelIntake panel;
  SmtpIntake smtp;
};

}  // namespace varnel
