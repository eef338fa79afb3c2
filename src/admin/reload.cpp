#include "admin/reload.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <iostream>
#include <netinet/in.h>

#include "admin/program_dir.h"
#include "agent/mib.h"
#include "platform/error.h"
#include "platform/snmp/snmp_socket.h"

namespace varnel::admin {
namespace {

class UdpSocket {
 public:
  UdpSocket() : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
    if (fd_ < 0) throw SocketError(errno);
  }
  ~UdpSocket() { ::close(fd_); }
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

AgentAddress ReadAgentAddress(const std::string& dir) {
  auto db = OpenProgramDatabase(dir);
  Table t = db->Open("Settings_SNMP_Agent");
  if (t.Eof() || !t.Flag("Enabled"))
    throw BadInput("the SNMP agent of " + dir +
                   " is not enabled (Settings_SNMP_Agent Enabled), so the service cannot be asked");
  AgentAddress a;
  a.host = t.Text("IpAddress");
  if (a.host.empty() || a.host == "0.0.0.0") a.host = "127.0.0.1";
  a.port = t.Int32("UdpPort");
  a.getCommunity = t.Text("GetComm");
  a.setCommunity = t.Text("SetComm");
  return a;
}

std::optional<snmp::Message> AskAgent(const AgentAddress& agent, snmp::Message request) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(agent.port));
  if (::inet_pton(AF_INET, agent.host.c_str(), &to.sin_addr) != 1)
    throw BadInput("the agent address \"" + agent.host + "\" is not an IPv4 address");
  UdpSocket socket;
  if (::connect(socket.fd(), reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
    throw SocketError(errno);
  request.requestId = static_cast<std::int32_t>(::getpid() & 0x7fffffff);
  const std::string datagram = snmp::Encode(request);
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (::send(socket.fd(), datagram.data(), datagram.size(), 0) < 0 && errno != ECONNREFUSED)
      throw SocketError(errno);
    pollfd p{socket.fd(), POLLIN, 0};
    while (::poll(&p, 1, 1000) > 0) {
      std::string buffer(snmp::kMaxDatagram, '\0');
      ssize_t n = ::recv(socket.fd(), buffer.data(), buffer.size(), 0);
      if (n < 0) break;  // nobody listens on the port (ICMP port unreachable)
      auto answer = snmp::Decode(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
      if (answer && answer->requestId == request.requestId) return answer;
    }
  }
  return std::nullopt;
}

int RunReload(const Args& args) {
  if (args.size() != 1) throw BadInput("usage: varnel-admin reload DIR");
  const AgentAddress agent = ReadAgentAddress(args[0]);
  snmp::Message set;
  set.version = snmp::kVersion1;
  set.community = agent.setCommunity;
  set.pduType = snmp::pdu::kSetV1;
  set.variables.push_back({MibBaseOid(kUpdateRequest) + ".0",
                           std::to_string(static_cast<int>(UpdateRequestCode::Reread)),
                           snmp::vt::kInteger});
  auto answer = AskAgent(agent, set);
  const std::string where = agent.host + ":" + std::to_string(agent.port);
  if (!answer) {
    std::cerr << "varnel-admin reload: the service does not answer on " << where
              << " (is it running, and is SetComm its Set community?)\n";
    return kExitNoService;
  }
  if (answer->errorStatus != snmp::es::kNoError) {
    std::cerr << "varnel-admin reload: the agent on " << where << " refused the request (error "
              << answer->errorStatus << "; is SetComm right?)\n";
    return kExitFindings;
  }
  std::cout << "The service on " << where << " reads its configuration again\n";
  return kExitOk;
}

}  // namespace varnel::admin
