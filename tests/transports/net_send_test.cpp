// Messages to users' terminals and the external programs that RunProg receivers start.
#include "transports/net_send.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utmpx.h>

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "transports/exec_prog.h"

namespace varnel {
namespace {

using NetSendTest = testing::VarnelTest;

// A pseudo terminal stands for a logged-in user's terminal, listed in a utmp file of the
// test's own.
TEST_F(NetSendTest, TextReachesEveryTerminalOfTheUserOrAResultNumberSaysWhyNot) {
  struct Pty {
    int master = -1, slave = -1;
    ~Pty() { ::close(master), ::close(slave); }
  } pty;
  ASSERT_EQ(::openpty(&pty.master, &pty.slave, nullptr, nullptr, nullptr), 0);
  termios raw{};
  ::tcgetattr(pty.slave, &raw);
  ::cfmakeraw(&raw);  // bytes arrive as written
  ::tcsetattr(pty.slave, TCSANOW, &raw);
  ::fcntl(pty.master, F_SETFL, O_NONBLOCK);
  const std::string tty = ::ttyname(pty.slave), utmp = dir + "/utmp";
  ::chmod(tty.c_str(), 0620);
  std::ofstream(utmp).flush();
  int id = 0;
  auto login = [&](const char* user, const std::string& line, short type = USER_PROCESS) {
    utmpx u{};
    u.ut_type = type;
    u.ut_pid = ::getpid();
    std::strncpy(u.ut_user, user, sizeof u.ut_user);
    std::strncpy(u.ut_line, line.c_str(), sizeof u.ut_line);
    std::strncpy(u.ut_id, std::to_string(++id).c_str(), sizeof u.ut_id);  // ids replace
    ASSERT_EQ(::utmpxname(utmp.c_str()), 0);
    ::setutxent();
    ASSERT_NE(::pututxline(&u), nullptr);
    ::endutxent();
  };
  auto received = [&] {
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = ::read(pty.master, buf, sizeof buf)) > 0;)
      out.append(buf, static_cast<std::size_t>(n));
    return out;
  };
  login("operator", tty.substr(5));  // without "/dev/"
  login("operator", "pts/no-such-terminal");
  login("other", tty.substr(5), DEAD_PROCESS);
  login("sneaky", "../etc/passwd");
  EXPECT_EQ(SendToUserTerminals(utmp, "operator", "Node down\r\nPort\x1b[2J 3\n\x07!"), 0);
  EXPECT_EQ(received(), "Node down\r\nPort^[[2J 3\r\n^G!");

  for (const char* name : {"", "PC-01\\user", "-rf"})
    EXPECT_EQ(SendToUserTerminals(utmp, name, "x"), kNetSendInvalidName) << name;
  for (const char* name : {"nobody-here", "sneaky", "other"})
    EXPECT_EQ(SendToUserTerminals(utmp, name, "x"), kNetSendNoSuchUser) << name;
  EXPECT_EQ(SendToUserTerminals(dir + "/absent-utmp", "operator", "x"), kNetSendNoSuchUser);
  ::chmod(tty.c_str(), 0600);  // mesg n
  EXPECT_EQ(SendToUserTerminals(utmp, "operator", "x"), kNetSendWriteFailed);
  EXPECT_EQ(received(), "");
}

TEST(SplitParameters, BlanksSeparateAndQuotesGroup) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitParameters("\"two words\"\tx\"y z\" \"\""), (V{"two words", "xy z", ""}));
  EXPECT_EQ(SplitParameters(std::string("a\0b", 3)), (V{"a", "b"}));
}

}  // namespace
}  // namespace varnel
