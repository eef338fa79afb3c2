#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

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

}  // namespace
}  // namespace varnel
