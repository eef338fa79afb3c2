#include "admin/agent_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <random>

#include "platform/snmp/snmp_socket.h"

namespace varnel::admin {
namespace {

// A UDP socket that closes itself.
class UdpSocket {
 public:
  UdpSocket() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
  ~UdpSocket() {
    if (fd_ >= 0) ::close(fd_);
  }
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

bool IsWildcard(const std::string& host) { return host.empty() || host == "0.0.0.0"; }

std::int32_t NewRequestId() {
  static std::mt19937 rng(
      static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
  return static_cast<std::int32_t>(rng() & 0x7FFFFFFF);
}

}  // namespace

AgentAddress ReadAgentAddress(Database& db) {
  Table t = db.Open("Settings_SNMP_Agent");
  AgentAddress a;
  if (t.Eof()) return a;
  a.enabled = t.Flag("Enabled");
  a.host = t.Text("IpAddress");
  if (IsWildcard(a.host)) a.host = "127.0.0.1";
  a.port = t.Int32("UdpPort");
  a.getCommunity = t.Text("GetComm");
  a.setCommunity = t.Text("SetComm");
  return a;
}

std::optional<snmp::Message> AgentClient::Exchange(snmp::Message request) const {
  UdpSocket s;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(address_.port));
  if (s.fd() < 0 || ::inet_pton(AF_INET, address_.host.c_str(), &to.sin_addr) != 1)
    return std::nullopt;
  request.version = snmp::kVersion2c;
  request.requestId = NewRequestId();
  const std::string datagram = snmp::Encode(request);
  std::string buffer(snmp::kMaxDatagram, '\0');
  for (int attempt = 0; attempt < tries_; ++attempt) {
    if (::sendto(s.fd(), datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to) < 0)
      return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{s.fd(), POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      ssize_t n = ::recv(s.fd(), buffer.data(), buffer.size(), 0);
      if (n < 0) break;  // an ICMP refusal: nobody listens there now
      auto answer = snmp::Decode(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
      // An answer to an earlier try or to someone else is not ours.
      if (answer && answer->requestId == request.requestId &&
          answer->pduType == snmp::pdu::kResponse)
        return answer;
    }
  }
  return std::nullopt;
}

std::optional<std::vector<snmp::Variable>> AgentClient::Get(
    const std::vector<std::string>& oids) const {
  snmp::Message m;
  m.community = address_.getCommunity;
  m.pduType = snmp::pdu::kGet;
  for (const std::string& oid : oids) m.variables.push_back({oid + ".0", "", snmp::vt::kNull});
  auto answer = Exchange(m);
  if (!answer || answer->errorStatus != snmp::es::kNoError ||
      answer->variables.size() != oids.size())
    return std::nullopt;
  // A request with a community the agent does not take comes back without values.
  for (const snmp::Variable& v : answer->variables)
    if (v.type == snmp::vt::kNull) return std::nullopt;
  return answer->variables;
}

std::optional<int> AgentClient::SetInteger(const std::string& oid, int value) const {
  snmp::Message m;
  m.community = address_.setCommunity;
  m.pduType = snmp::pdu::kSet;
  m.variables.push_back({oid + ".0", std::to_string(value), snmp::vt::kInteger});
  auto answer = Exchange(m);
  if (!answer) return std::nullopt;
  return answer->errorStatus;
}

}  // namespace varnel::admin
