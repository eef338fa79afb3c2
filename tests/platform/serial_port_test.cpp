#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

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

// COM1 of the program directory is linked to the slave side of a pty.
TEST(PosixSerialPort, OpenDiscardAndCloseOnAPty) {
  testing::ProgramHome home;
  int master = -1, slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  std::filesystem::create_symlink(::ttyname(slave), home.ctx.Path("ports/COM1"));
  EXPECT_EQ(SerialDevicePath(home.ctx.ProgramDir, 3), "/dev/ttyS2");  // no link
  PosixSerialPort p(home.io, home.ctx.ProgramDir);
  EXPECT_EQ(ErrorOf([&] { p.Open(); }), serr::kInvalidPortNumber);  // no number chosen yet
  p.SetPortNumber(1);
  p.SetSettings("19200,e,7,1");
  p.SetDtr(true);  // before opening: applied when the port opens
  p.Open();
  EXPECT_EQ(ErrorOf([&] { p.Open(); }), serr::kPortAlreadyOpen);
  ASSERT_EQ(::write(master, "junk", 4), 4);
  // Input reaches the slave side asynchronously.
  for (int i = 0; i < 200 && p.InputCount() < 4; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(p.InputCount(), 4u);
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
  ::close(master);
  ::close(slave);
}

}  // namespace
}  // namespace varnel
