#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/error.h"
#include "platform/posix_serial_port.h"
#include "support/test_support.h"

namespace varnel {
namespace {

int ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const VarnelError& e) {
    return e.Number();
  }
  return 0;
}

TEST(LineSettings, ParsesSpeedParityDataAndStopBits) {
  LineSettings s = ParseLineSettings("115200,E,7,2");
  EXPECT_EQ(s.speed, 115200u);
  EXPECT_EQ(s.parity, 'e');
  EXPECT_EQ(s.dataBits, 7);
  EXPECT_EQ(s.stopBits, 2);
  EXPECT_EQ(ParseLineSettings("9600, n, 8, 1.5").stopBits, 2);
  for (const char* bad : {"9600,x,8,1", "9601,n,8,1", "9600,n,9,1", "9600,n,8", "9600,n,8,1,1",
                          "abc,n,8,1", "", "-9600,n,8,1", "9600,n,8,3"})
    EXPECT_EQ(ErrorOf([&] { ParseLineSettings(bad); }), serr::kInvalidProperty) << bad;
}

class PtyPort : public ::testing::Test {
 protected:
  PtyPort() : dir(testing::MakeTempDir()) {
    std::filesystem::create_directories(dir + "/ports");
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
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
  std::string ReadMaster() {
    char buf[256];
    for (int i = 0; i < 200; ++i) {
      ssize_t n = ::read(master, buf, sizeof buf);
      if (n > 0) return std::string(buf, static_cast<std::size_t>(n));
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return {};
  }

  std::string dir;
  int master = -1;
  int slave = -1;
  asio::io_context io;
};

TEST_F(PtyPort, DevicePathPrefersTheLinkEvenWhenDangling) {
  EXPECT_EQ(SerialDevicePath(dir, 1), dir + "/ports/COM1");
  EXPECT_EQ(SerialDevicePath(dir, 3), "/dev/ttyS2");
  std::filesystem::create_symlink(dir + "/nothing", dir + "/ports/COM3");
  EXPECT_EQ(SerialDevicePath(dir, 3), dir + "/ports/COM3");
}

TEST_F(PtyPort, WritesAndReadsThroughTheLinkedDevice) {
  ::fcntl(master, F_SETFL, O_NONBLOCK);
  PosixSerialPort p(io, dir);
  p.SetPortNumber(1);
  p.SetSettings("19200,e,7,1");
  p.SetDtr(true);  // before opening: applied when the port opens
  p.Open();
  EXPECT_TRUE(p.IsOpen());
  EXPECT_EQ(ErrorOf([&] { p.Open(); }), serr::kPortAlreadyOpen);
  p.Write("AT\r");
  EXPECT_EQ(ReadMaster(), "AT\r");
  ASSERT_EQ(::write(master, "OK\r\n", 4), 4);
  EXPECT_EQ(WaitInput(p, 4), 4u);
  EXPECT_EQ(p.ReadAll(), "OK\r\n");
  EXPECT_EQ(p.InputCount(), 0u);
  ASSERT_EQ(::write(master, "junk", 4), 4);
  WaitInput(p, 4);
  p.DiscardInput();
  EXPECT_EQ(p.InputCount(), 0u);
  // A pty has no modem lines: RTS and DTR are remembered, carrier detect reads low.
  p.SetRts(true);
  EXPECT_TRUE(p.Rts());
  EXPECT_TRUE(p.Dtr());
  EXPECT_FALSE(p.CarrierDetect());
  p.SetHandshaking(kRtsCts);
  p.SetHandshaking(kNoHandshaking);
  p.Close();
  EXPECT_FALSE(p.IsOpen());
  EXPECT_EQ(ErrorOf([&] { p.InputCount(); }), serr::kPortNotOpen);
}

TEST_F(PtyPort, MissingDeviceAndInvalidNumbersDoNotOpen) {
  PosixSerialPort p(io, dir);
  EXPECT_EQ(ErrorOf([&] { p.Open(); }), serr::kInvalidPortNumber);  // no number chosen yet
  std::filesystem::create_symlink(dir + "/gone", dir + "/ports/COM2");
  p.SetPortNumber(2);
  EXPECT_EQ(ErrorOf([&] { p.Open(); }), serr::kInvalidPortNumber);
  p.SetPortNumber(1);
  EXPECT_EQ(ErrorOf([&] { p.SetPortNumber(0); }), serr::kInvalidPortNumber);
  // The rejected number does not leave COM1 selected.
  EXPECT_EQ(ErrorOf([&] { p.Open(); }), serr::kInvalidPortNumber);
  EXPECT_FALSE(p.IsOpen());
}

TEST_F(PtyPort, VanishedDeviceFailsReadsAndWrites) {
  PosixSerialPort p(io, dir);
  p.SetPortNumber(1);
  p.Open();
  ::close(master);
  master = -1;
  EXPECT_EQ(ErrorOf([&] { p.InputCount(); }), serr::kDeviceIo);
  EXPECT_EQ(ErrorOf([&] { p.Write("AT\r"); }), serr::kDeviceIo);
  p.Close();
}

}  // namespace
}  // namespace varnel
