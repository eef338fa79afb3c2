#include <algorithm>
#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "platform/datagram_reader.h"
#include "platform/udp_listener.h"

namespace varnel {
namespace {

using asio::ip::udp;

// Sends count datagrams "0", "1", ... to the listener before the loop runs, so that they all
// wait in the socket and are read in batches.
std::uint16_t SendQueued(asio::io_context& io, const UdpListener& to, int count) {
  udp::socket out(io, udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  udp::endpoint dest(asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(to.LocalPort()));
  for (int i = 0; i < count; ++i) out.send_to(asio::buffer(std::to_string(i)), dest);
  return out.local_endpoint().port();
}

TEST(UdpListener, QueuedDatagramsArriveWholeAndInOrderAndAHandlerMayCloseTheListener) {
  asio::io_context io;
  std::vector<std::string> got;
  auto listener = std::make_shared<UdpListener>(
      io, "127.0.0.1", 0, [&](std::string data, std::string sender) {
        EXPECT_EQ(sender, "127.0.0.1");
        got.push_back(std::move(data));
        if (got.size() == 40) io.stop();
      });
  SendQueued(io, *listener, 40);
  io.run_for(std::chrono::seconds(10));
  ASSERT_EQ(got.size(), 40u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(got[static_cast<std::size_t>(i)], std::to_string(i));

  // A handler that drops the last reference in the middle of a batch ends the batch there.
  got.clear();
  io.restart();
  listener = std::make_shared<UdpListener>(io, "127.0.0.1", 0, [&](std::string data, std::string) {
    got.push_back(std::move(data));
    if (got.size() == 3) listener.reset();
  });
  SendQueued(io, *listener, 10);
  io.run_for(std::chrono::milliseconds(300));
  EXPECT_EQ(got.size(), 3u);
}

TEST(DatagramReader, CountsTheDatagramsTheKernelDroppedForAFullBuffer) {
  asio::io_context io;
  int got = 0;
  DatagramReader reader(
      io, 2048, std::chrono::milliseconds(0),
      [&](std::string_view, const udp::endpoint&) { ++got; }, [](const std::error_code&) {});
  udp::socket& in = reader.Socket();
  in.open(udp::v4());
  in.set_option(asio::socket_base::receive_buffer_size(4096));  // room for a few
  in.bind(udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  reader.Start();
  udp::socket out(io, udp::endpoint(udp::v4(), 0));
  const std::string payload(1000, 'x');
  for (int i = 0; i < 100; ++i) out.send_to(asio::buffer(payload), in.local_endpoint());
  io.run_for(std::chrono::milliseconds(200));
  ASSERT_LT(got, 100);
  EXPECT_EQ(reader.TakeKernelDrops(), static_cast<std::uint64_t>(100 - got));
  EXPECT_EQ(reader.TakeKernelDrops(), 0u);
  // Drops from before a restart are not counted again.
  for (int i = 0; i < 100; ++i) out.send_to(asio::buffer(payload), in.local_endpoint());
  reader.Start();
  EXPECT_EQ(reader.TakeKernelDrops(), 0u);
}

// Under a light steady stream the reader wakes less and less often, up to the longest
// interval; a burst that fills the buffer beyond a quarter brings the interval down again.
TEST(DatagramReader, GatheringStretchesUnderLightLoadAndShrinksWhenTheBufferFills) {
  using namespace std::chrono_literals;
  asio::io_context io;
  int got = 0;
  DatagramReader reader(
      io, 2048, 20ms, [&](std::string_view, const udp::endpoint&) { ++got; },
      [](const std::error_code&) {});
  udp::socket& in = reader.Socket();
  in.open(udp::v4());
  in.set_option(asio::socket_base::receive_buffer_size(32768));
  in.bind(udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  reader.Start();
  udp::socket out(io, udp::endpoint(udp::v4(), 0));
  int sent = 0;
  asio::steady_timer tick(io);
  std::function<void()> every10ms = [&] {
    out.send_to(asio::buffer(std::string(50, 'x')), in.local_endpoint());
    ++sent;
    tick.expires_after(10ms);
    tick.async_wait([&](const std::error_code& ec) {
      if (!ec) every10ms();
    });
  };
  every10ms();
  io.run_for(600ms);
  EXPECT_EQ(reader.GatherIntervalNow(), kLongestGather);

  for (int i = 0; i < 12; ++i)
    out.send_to(asio::buffer(std::string(1000, 'y')), in.local_endpoint());
  sent += 12;
  auto shortest = reader.GatherIntervalNow();
  for (int i = 0; i < 50; ++i) {
    io.run_for(5ms);
    shortest = std::min(shortest, reader.GatherIntervalNow());
  }
  EXPECT_LT(shortest, kLongestGather);
  tick.cancel();
  io.run_for(250ms);
  EXPECT_EQ(got, sent);
  EXPECT_EQ(reader.TakeKernelDrops(), 0u);
}

}  // namespace
}  // namespace varnel
