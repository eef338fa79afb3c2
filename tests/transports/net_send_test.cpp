#include "transports/net_send.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utmpx.h>

#include <cstring>
#include <fstream>

#include "platform/files.h"
#include "service/errors.h"
#include "support/test_support.h"

namespace varnel {
namespace {

// A pseudo terminal that stands for a logged-in user's terminal, listed in a utmp file of
// the test's own.
class TerminalTest : public testing::VarnelTest {
 protected:
  TerminalTest() : utmp(dir + "/utmp") {
    std::ofstream(utmp).flush();
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return;
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);  // bytes arrive as written
    ::tcsetattr(slave, TCSANOW, &raw);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    slaveName = ::ttyname(slave);
    ::chmod(slaveName.c_str(), 0620);
  }
  ~TerminalTest() override {
    if (master >= 0) ::close(master);
    if (slave >= 0) ::close(slave);
  }

  void Login(const std::string& user, const std::string& line, short type = USER_PROCESS) {
    utmpx u{};
    u.ut_type = type;
    u.ut_pid = ::getpid();
    std::strncpy(u.ut_user, user.c_str(), sizeof u.ut_user);
    std::strncpy(u.ut_line, line.c_str(), sizeof u.ut_line);
    // Entries with the same id replace each other.
    std::strncpy(u.ut_id, std::to_string(++logins).c_str(), sizeof u.ut_id);
    ASSERT_EQ(::utmpxname(utmp.c_str()), 0);
    ::setutxent();
    ASSERT_NE(::pututxline(&u), nullptr);
    ::endutxent();
  }
  std::string Line() const { return slaveName.substr(std::strlen("/dev/")); }
  std::string Received() {
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
    return out;
  }

  std::string utmp;
  int logins = 0;
  int master = -1, slave = -1;
  std::string slaveName;
};

TEST_F(TerminalTest, TextReachesEveryTerminalOfTheUser) {
  ASSERT_FALSE(slaveName.empty());
  Login("operator", Line());
  Login("operator", "pts/no-such-terminal");
  Login("other", Line(), DEAD_PROCESS);
  EXPECT_EQ(SendToUserTerminals(utmp, "operator", "Node down\r\nPort\x1b[2J 3\n\x07!"), 0);
  EXPECT_EQ(Received(), "Node down\r\nPort^[[2J 3\r\n^G!");
}

TEST_F(TerminalTest, ResultNumbers) {
  ASSERT_FALSE(slaveName.empty());
  Login("operator", Line());
  Login("sneaky", "../etc/passwd");
  EXPECT_EQ(SendToUserTerminals(utmp, "", "x"), kNetSendInvalidName);
  EXPECT_EQ(SendToUserTerminals(utmp, "PC-01\\user", "x"), kNetSendInvalidName);
  EXPECT_EQ(SendToUserTerminals(utmp, "-rf", "x"), kNetSendInvalidName);
  EXPECT_EQ(SendToUserTerminals(utmp, "nobody-here", "x"), kNetSendNoSuchUser);
  EXPECT_EQ(SendToUserTerminals(utmp, "sneaky", "x"), kNetSendNoSuchUser);
  EXPECT_EQ(SendToUserTerminals(dir + "/absent-utmp", "operator", "x"), kNetSendNoSuchUser);
  ::chmod(slaveName.c_str(), 0600);  // mesg n
  EXPECT_EQ(SendToUserTerminals(utmp, "operator", "x"), kNetSendWriteFailed);
  EXPECT_EQ(Received(), "");
}

class NetSendTest : public testing::VarnelTest {};

TEST_F(NetSendTest, RunProgReceiversStartTheirProgram) {
  const std::string out = dir + "/args.txt";
  const std::string script = File("ExecProg/page.sh");
  std::ofstream(script) << "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\" >> " << out << "; done\n";
  ::chmod(script.c_str(), 0755);
  std::string message = "core1 down>>core2 " + std::string(600, 'x');
  std::int16_t status = 0;
  std::string text;
  NetSend(ctx, "RunProg pager", "page.sh", message, status, text);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(text, "NET SEND: Program executed successfully.");
  EXPECT_EQ(message, "core1 down\r\ncore2 " + std::string(512 - 18, 'x'));
  EXPECT_EQ(ReadLines(out), (std::vector<std::string>{"[core1]", "[down]", "[core2]",
                                                      "[" + std::string(512 - 18, 'x') + "]"}));
  EXPECT_EQ(ctx.StatusText, "Executing page.sh");

  NetSend(ctx, "xrunprogx", "missing.sh", message, status, text);
  EXPECT_EQ(status, 3);
  EXPECT_EQ(text, "NET SEND: Error [0] when executing the program.");
}

}  // namespace
}  // namespace varnel
