#include "platform/datagram_reader.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <asio/post.hpp>
#include <cerrno>
#include <cstring>

namespace varnel {
namespace {

constexpr int kBatch = 16;
// Batches read in one go before other handlers (the cycle, TCP sessions) get their turn.
constexpr int kBatchesPerTurn = 16;
// Gathering aims to let the receive buffer fill to about this share between reads.
constexpr double kTargetFill = 0.25;

}  // namespace

DatagramReader::DatagramReader(asio::io_context& io, std::size_t datagramSize,
                               std::chrono::milliseconds gatherInterval, Handler onDatagram,
                               ErrorHandler onError)
    : socket_(quiet_),
      waiter_(io),
      gather_(io),
      size_(datagramSize),
      gatherInterval_(gatherInterval),
      gatherNow_(gatherInterval),
      // Left uninitialised: only the bytes datagrams fill become resident.
      buffers_(new char[kBatch * datagramSize]),
      onDatagram_(std::move(onDatagram)),
      onError_(std::move(onError)) {}

DatagramReader::~DatagramReader() { Stop(); }

void DatagramReader::Start() {
  Stop();
  auto info = MemoryInfo();
  kernelDropsTaken_ = info ? (*info)[SK_MEMINFO_DROPS] : 0;
  alive_ = std::make_shared<bool>(true);
  WaitReadable();
}

void DatagramReader::Stop() {
  if (alive_) *alive_ = false;
  alive_.reset();
  gather_.cancel();
  std::error_code ignored;
  waiter_.close(ignored);
}

void DatagramReader::WaitReadable() {
  int copy = ::dup(socket_.native_handle());
  std::error_code ec;
  if (copy >= 0) waiter_.assign(copy, ec);
  if (copy < 0 || ec) {
    // Out of descriptors: read again after the gathering interval instead.
    if (copy >= 0) ::close(copy);
    onError_(ec ? ec : std::error_code(errno, asio::system_category()));
    GatherThenRead(std::max(gatherInterval_, kGatherInterval));
    return;
  }
  waiter_.async_wait(asio::posix::descriptor_base::wait_read,
                     [this, alive = alive_](const std::error_code& ec) {
                       if (!*alive || ec == asio::error::operation_aborted) return;
                       std::error_code ignored;
                       waiter_.close(ignored);
                       if (ec) onError_(ec);
                       if (socket_.is_open()) ReadAvailable(false);
                     });
}

void DatagramReader::GatherThenRead(std::chrono::milliseconds wait) {
  gather_.expires_after(wait);
  gather_.async_wait([this, alive = alive_](const std::error_code& ec) {
    if (ec || !*alive || !socket_.is_open()) return;
    AdaptGathering(BufferFill());
    ReadAvailable(true);
  });
}

std::optional<DatagramReader::MemoryFigures> DatagramReader::MemoryInfo() {
  MemoryFigures info{};
  socklen_t length = sizeof info;
  if (::getsockopt(socket_.native_handle(), SOL_SOCKET, SO_MEMINFO, info.data(), &length) != 0 ||
      length < sizeof info)
    return std::nullopt;
  return info;
}

double DatagramReader::BufferFill() {
  auto info = MemoryInfo();
  if (!info || (*info)[SK_MEMINFO_RCVBUF] == 0) return -1;
  return static_cast<double>((*info)[SK_MEMINFO_RMEM_ALLOC]) / (*info)[SK_MEMINFO_RCVBUF];
}

void DatagramReader::AdaptGathering(double fill) {
  // Each wake-up costs far more than reading one more datagram, so the interval grows while
  // the buffer fills to less than its target share, and shrinks (never below the configured
  // interval) when it fills to more; at most by half or double a step, so one odd interval
  // does not swing it.
  if (gatherInterval_.count() == 0 || fill < 0) return;
  const double scale = fill <= kTargetFill / 2 ? 2.0 : std::max(kTargetFill / fill, 0.5);
  const auto next = std::chrono::milliseconds(static_cast<long>(gatherNow_.count() * scale));
  gatherNow_ = std::clamp(next, gatherInterval_, std::max(gatherInterval_, kLongestGather));
}

void DatagramReader::ReadAvailable(bool gathering) {
  auto alive = alive_;
  bool empty = false;
  int total = 0;
  for (int i = 0; i < kBatchesPerTurn && !empty; ++i) {
    int n = ReadBatch();
    if (!*alive || !socket_.is_open()) return;  // a handler stopped or replaced the reader
    empty = n < 0;
    total += empty ? 0 : n;
  }
  if (!empty) {
    // A flood: go on reading as soon as the handlers already queued have run, and gather
    // from the shortest interval again once it is read.
    gatherNow_ = gatherInterval_;
    asio::post(gather_.get_executor(), [this, alive, gathering] {
      if (*alive && socket_.is_open()) ReadAvailable(gathering);
    });
    return;
  }
  // Gathering goes on while reads find datagrams; it starts when one comes within the
  // interval of the one before.
  auto now = std::chrono::steady_clock::now();
  bool busy = total > 0 && (gathering || now - lastRead_ < gatherInterval_);
  if (total > 0) lastRead_ = now;
  if (!busy)
    WaitReadable();
  else if (gathering)
    GatherThenRead(gatherNow_);
  else
    GatherThenRead(gatherNow_ = gatherInterval_);
}

std::uint64_t DatagramReader::TakeKernelDrops() {
  // The socket's own counter: 32 bits, wrapping, so the difference is taken in that width.
  auto info = MemoryInfo();
  if (!info) return 0;
  const std::uint32_t seen = (*info)[SK_MEMINFO_DROPS];
  const std::uint32_t drops = seen - kernelDropsTaken_;
  kernelDropsTaken_ = seen;
  return drops;
}

int DatagramReader::ReadBatch() {
  mmsghdr headers[kBatch];
  iovec slots[kBatch];
  sockaddr_storage senders[kBatch];
  std::memset(headers, 0, sizeof headers);
  for (int i = 0; i < kBatch; ++i) {
    slots[i] = {buffers_.get() + i * size_, size_};
    headers[i].msg_hdr.msg_name = &senders[i];
    headers[i].msg_hdr.msg_namelen = sizeof senders[i];
    headers[i].msg_hdr.msg_iov = &slots[i];
    headers[i].msg_hdr.msg_iovlen = 1;
  }
  int n;
  do {
    n = ::recvmmsg(socket_.native_handle(), headers, kBatch, MSG_DONTWAIT, nullptr);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK) return -1;
    onError_(std::error_code(errno, asio::system_category()));
    return -1;
  }
  auto alive = alive_;
  asio::ip::udp::endpoint from;
  for (int i = 0; i < n && *alive; ++i) {
    std::size_t length = std::min<std::size_t>(headers[i].msg_hdr.msg_namelen, from.capacity());
    std::memcpy(from.data(), &senders[i], length);
    from.resize(length);
    onDatagram_(std::string_view(buffers_.get() + i * size_, headers[i].msg_len), from);
  }
  return n;
}

}  // namespace varnel
