#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "error_of.h"
#include "platform/error.h"
#include "platform/posix_serial_port.h"
#include "support/test_support.h"

namespace varnel {
namespace {

using testing::ErrorOf;

TEST(LineSettings, ParsesSpeedParityDataAndStopBits) {
  LineSettings s = ParseLineSettings("115200,E,7,2");
  EXPECT_EQ(std::tuple(s.speed, s.parity, s.dataBits, s.stopBits), std::tuple(115200u, 'e', 7, 2));
  EXPECT_EQ(ParseLineSettings("9600, n, 8, 1.5").stopBits, 2);
  for (const char* bad : {"9600,x,8,1", "9601,n,8,1", "9600,n,9,1", "9600,n,8", "9600,n,8,1,1",
                          "abc,n,8,1", "", "-9600,n,8,1", "9600,n,8,3"})
    EXPECT_EQ(ErrorOf([&] { ParseLineSettings(bad); }), serr::kInvalidProperty) << bad;
}

// COM1 of a temporary program directory is linked to the slave side of a pty.
class PtyPort : public ::testing::Test {
 protected:
  PtyPort() : dir(testing::MakeTempDir()) {
    std::filesystem::create_directories(dir + "/ports");
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
      throw std::runtime_error("openpty");
    std::filesystem::create_symlink(::ttyname(slave), dir + "/ports/COM1");
  }
  ~PtyPort() override {
    if (master >= 0) ::close(master);
    if (slave >= 0) ::close(slave);
    testing::RemoveTree(dir);
  }
  // Input reaches the slave side asynchronously; wait until count bytes are there.
  std::size_t WaitInput(PosixSerialPort& p, std::size_t count) {
    for (int i = 0; i < 200 && p.InputCount() < count; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return p.InputCount();
  }

  std::string dir;
  int master = -1;
  int slave = -1;
  asio::io_context io;
};

TEST_F(PtyPort, OpenDiscardAndClose) {
  EXPECT_EQ(SerialDevicePath(dir, 3), "/dev/ttyS2");  // no link: the machine's own port
  PosixSerialPort p(io, dir);
  EXPECT_EQ(ErrorOf([&] { p.Open(); }), serr::kInvalidPortNumber);  // no number chosen yet
  p.SetPortNumber(1);
  p.SetSettings("19200,e,7,1");
  p.SetDtr(true);  // before opening: applied when the port opens
  p.Open();
  EXPECT_EQ(ErrorOf([&] { p.Open(); }), serr::kPortAlreadyOpen);
  ASSERT_EQ(::write(master, "junk", 4), 4);
  EXPECT_EQ(WaitInput(p, 4), 4u);
  p.DiscardInput();
  EXPECT_EQ(p.InputCount(), 0u);
  // A pty has no modem lines: RTS and DTR are remembered, carrier detect reads low.
  p.SetRts(true);
  EXPECT_TRUE(p.Rts() && p.Dtr());
  EXPECT_FALSE(p.CarrierDetect());
  p.Close();
  EXPECT_EQ(ErrorOf([&] { p.InputCount(); }), serr::kPortNotOpen);
  // A rejected number does not leave COM1 selected.
  EXPECT_EQ(ErrorOf([&] { p.SetPortNumber(0); }), serr::kInvalidPortNumber);
  EXPECT_EQ(ErrorOf([&] { p.Open(); }), serr::kInvalidPortNumber);
  EXPECT_FALSE(p.IsOpen());
}

}  // namespace
}  // namespace varnel
