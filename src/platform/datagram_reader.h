// A UDP socket whose datagrams are read in batches. The reader waits until the socket is
// readable and reads everything queued with recvmmsg. When datagrams come faster than one per
// gathering interval it reads again only after that interval instead of waking for each one,
// and goes back to waiting once a read finds the socket empty. A datagram that comes alone is
// read at once. Under steady load the interval stretches, up to kLongestGather, as long as the
// receive buffer fills to less than a quarter between reads, and falls back towards the
// configured interval when it fills more.
//
// The socket lives on an io_context of its own that never runs, so an arriving datagram wakes
// the service only while the reader waits for one: the service's loop watches a duplicate of
// the descriptor then, and nothing while it gathers. Binding, options and sending on Socket()
// work as on any socket.
#pragma once
#include <sys/socket.h>

#include <array>
#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <linux/sock_diag.h>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>

namespace varnel {

// How long datagrams gather under load before a read: short against an inform sender's
// retry time, long enough to read dozens at a time.
constexpr std::chrono::milliseconds kGatherInterval{20};
// The longest a datagram waits under steady load.
constexpr std::chrono::milliseconds kLongestGather{100};

class DatagramReader {
 public:
  // data is only valid during the call; a datagram longer than the reader's size is cut.
  using Handler = std::function<void(std::string_view data, const asio::ip::udp::endpoint& from)>;
  using ErrorHandler = std::function<void(const std::error_code& ec)>;

  // datagramSize is the longest datagram taken whole; handlers run on io. A gathering
  // interval of zero reads every datagram as soon as it comes (for request-response traffic).
  DatagramReader(asio::io_context& io, std::size_t datagramSize,
                 std::chrono::milliseconds gatherInterval, Handler onDatagram,
                 ErrorHandler onError);
  ~DatagramReader();
  DatagramReader(const DatagramReader&) = delete;
  DatagramReader& operator=(const DatagramReader&) = delete;

  asio::ip::udp::socket& Socket() { return socket_; }
  const asio::ip::udp::socket& Socket() const { return socket_; }

  // Starts reading the (open, bound) socket.
  void Start();
  // Stops reading; a Start may follow once the socket is open again.
  void Stop();
  // Datagrams the kernel dropped for a full receive buffer since the last call (or Start).
  std::uint64_t TakeKernelDrops();
  // The interval the reader gathers for now.
  std::chrono::milliseconds GatherIntervalNow() const { return gatherNow_; }

 private:
  void WaitReadable();
  void GatherThenRead(std::chrono::milliseconds wait);
  void ReadAvailable(bool gathering);
  // The share of the receive buffer in use (0..1); -1 when the system does not tell.
  double BufferFill();
  void AdaptGathering(double fill);
  // Reads one batch; returns how many datagrams it took, -1 when the socket had none.
  int ReadBatch();
  // The socket's memory figures, indexed by SK_MEMINFO_*; none when the system does not tell.
  using MemoryFigures = std::array<std::uint32_t, SK_MEMINFO_VARS>;
  std::optional<MemoryFigures> MemoryInfo();

  asio::io_context quiet_;  // the socket's own context, never run
  asio::ip::udp::socket socket_;
  asio::posix::stream_descriptor waiter_;  // a duplicate of the socket's descriptor, on io
  asio::steady_timer gather_;
  std::size_t size_;
  std::chrono::milliseconds gatherInterval_;
  std::chrono::milliseconds gatherNow_;
  std::chrono::steady_clock::time_point lastRead_{};
  std::uint32_t kernelDropsTaken_ = 0;  // the socket's own drop counter at the last call
  std::unique_ptr<char[]> buffers_;  // kBatch slots of size_ bytes
  Handler onDatagram_;
  ErrorHandler onError_;
  // Guards the completion handlers against a reader stopped or destroyed meanwhile.
  std::shared_ptr<bool> alive_;
};

}  // namespace varnel
