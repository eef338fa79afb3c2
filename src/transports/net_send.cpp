#include "transports/net_send.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utmpx.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/event_loop.h"
#include "platform/text.h"
#include "service/errors.h"
#include "transports/alarm_text.h"
#include "transports/exec_prog.h"

namespace varnel {
namespace {

constexpr long kNetSendChars = 512;

bool ValidUserName(const std::string& user) {
  if (user.empty() || user.size() > sizeof(utmpx{}.ut_user)) return false;
  for (unsigned char c : user)
    if (!(std::isalnum(c) || c == '.' || c == '_' || c == '-' || c == '$')) return false;
  return user[0] != '-';
}

// The terminal lines (below /dev) of the user's sessions.
std::vector<std::string> UserTerminals(const std::string& utmpFile, const std::string& user) {
  std::vector<std::string> lines;
  if (utmpxname(utmpFile.c_str()) != 0) return lines;
  setutxent();
  while (const utmpx* u = getutxent()) {
    if (u->ut_type != USER_PROCESS) continue;
    if (std::string(u->ut_user, strnlen(u->ut_user, sizeof u->ut_user)) != user) continue;
    std::string line(u->ut_line, strnlen(u->ut_line, sizeof u->ut_line));
    // Only names of devices below /dev.
    if (line.empty() || line[0] == '/' || line.find("..") != std::string::npos) continue;
    lines.push_back(line);
  }
  endutxent();
  return lines;
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// What reaches the terminal: line breaks as CR LF, control characters shown as ^X so that
// a message cannot drive the terminal.
std::string TerminalText(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c == '\n' || c == '\r') {
      out += "\r\n";
    } else if (c == '\t') {
      out += c;
    } else if (c < 0x20 || c == 0x7f) {
      out += '^';
      out += static_cast<char>(c ^ 0x40);
    } else if (c == 0xc2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
      out += '?';  // C1 control characters in UTF-8
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string ResultWord(int result) {
  switch (result) {
    case kNetSendInvalidName: return "Invalid parameter";
    case kNetSendWriteFailed: return "Network error";
    case kNetSendNoSuchUser: return "The user name could not be found";
  }
  return std::to_string(result);
}

}  // namespace

int SendToUserTerminals(const std::string& utmpFile, const std::string& user,
                        const std::string& text) {
  if (!ValidUserName(user)) return kNetSendInvalidName;
  const std::vector<std::string> lines = UserTerminals(utmpFile, user);
  if (lines.empty()) return kNetSendNoSuchUser;
  const std::string data = TerminalText(text);
  bool written = false;
  for (const std::string& line : lines) {
    const std::string dev = "/dev/" + line;
    struct stat st {};
    // A terminal whose owner said "mesg n" takes no messages.
    if (::stat(dev.c_str(), &st) != 0 || !S_ISCHR(st.st_mode) || !(st.st_mode & S_IWGRP)) continue;
    int fd = ::open(dev.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    if (WriteAll(fd, data)) written = true;
    ::close(fd);
  }
  return written ? 0 : kNetSendWriteFailed;
}

void NetSend(Varnel& ctx, const std::string& receiverName, const std::string& address,
             std::string& message, std::int16_t& status, std::string& statusText) {
  const bool ok = Guarded(ctx, "NetSend", [&] {
    if (ToUpper(receiverName).find("RUNPROG") != std::string::npos) {
      SetStatus(ctx, StatusStepCode::Sending, "Executing " + address);
      message = LeftChars(GroupBreaksToCrLf(message), kNetSendChars);
      if (RunExecProg(ctx, address, message)) {
        status = kSent;
        statusText = "NET SEND: Program executed successfully.";
      } else {
        status = kSendFailed;
        statusText = "NET SEND: Error [0] when executing the program.";
      }
      Delay(ctx.io, kPauseAfterSendMs);
      return;
    }

    SetStatus(ctx, StatusStepCode::Sending, "Executing Net Send");
    message = LeftChars(GroupBreaksToCrLf(message), kNetSendChars);
    SetStatus(ctx, StatusStepCode::SendingMessage, "Sending message to " + address);
    const std::string text = "\r\nMessage from Varnel at " + ctx.clock.Now().Text() + " ...\r\n" +
                             message + "\r\nEOF\r\n";
    const int result = SendToUserTerminals(UTMPX_FILE, address, text);
    if (result == 0) {
      status = kSent;
      statusText = "NET SEND: Message sent successfully.";
    } else {
      status = kSendFailed;
      statusText = "NET SEND: Error [" + ResultWord(result) + "] when sending the message.";
    }
    Delay(ctx.io, kPauseAfterSendMs);
  });
  if (!ok) {
    status = kSendFailed;
    statusText = "ERROR: Module NetSend";
  }
}

}  // namespace varnel
