// SNMP v1 and v2c messages: the message model that the agent and the trap server work on,
// with every value held as text, and its BER encoding.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel::snmp {

// PDU type codes: v1 (32 + PDU number) and v2c (64 + PDU number).
namespace pdu {
constexpr int kGetV1 = 32;
constexpr int kGetNextV1 = 33;
constexpr int kResponseV1 = 34;
constexpr int kSetV1 = 35;
constexpr int kTrapV1 = 36;
constexpr int kGet = 64;
constexpr int kGetNext = 65;
constexpr int kResponse = 66;
constexpr int kSet = 67;
constexpr int kInform = 70;
constexpr int kTrapV2 = 71;
}  // namespace pdu

// Variable type codes.
namespace vt {
constexpr int kNull = 0;
constexpr int kInteger = 1;
constexpr int kOctetString = 2;
constexpr int kObjectId = 3;
constexpr int kIpAddress = 4;
constexpr int kCounter32 = 5;
constexpr int kGauge32 = 6;
constexpr int kTimeTicks = 7;
constexpr int kOpaque = 8;
constexpr int kNsapAddress = 9;
constexpr int kUInteger32 = 10;
constexpr int kCounter64 = 11;
}  // namespace vt

// Error status values of a response.
namespace es {
constexpr int kNoError = 0;
constexpr int kTooBig = 1;
constexpr int kNoSuchName = 2;
constexpr int kBadValue = 3;
constexpr int kReadOnly = 4;
}  // namespace es

constexpr int kVersion1 = 0;
constexpr int kVersion2c = 1;

// Values as text: Integer and the unsigned types in decimal (Counter64 too), IpAddress and
// ObjectID dotted, OctetString, Opaque and NSAPAddress as the received bytes (one character
// per byte), Null empty.
struct Variable {
  std::string oid;
  std::string value;
  int type = vt::kNull;
};

struct Message {
  int version = kVersion1;
  std::string community;
  int pduType = 0;
  std::int32_t requestId = 0;
  int errorStatus = 0;
  int errorIndex = 0;
  // v1 trap fields.
  std::string enterprise;
  std::string agentAddress;
  int genericTrap = 0;
  int specificTrap = 0;
  std::uint32_t timeStamp = 0;
  std::vector<Variable> variables;
  // Where the datagram came from (received messages) or goes to (responses); not encoded.
  std::string senderAddress;
  std::uint16_t senderPort = 0;
};

// Decodes one datagram. Anything that is not a well-formed v1/v2c message with one of the
// PDU types above gives nothing; no partial message is ever returned.
std::optional<Message> Decode(std::string_view datagram);
// The same into a message kept by the caller, whose strings keep their storage; false (and
// the message's content undefined) for a datagram that Decode gives nothing for.
bool DecodeInto(std::string_view datagram, Message& message);

// Encodes a message. A value that does not fit its type (a non-numeric Integer, a Counter64
// beyond 2^64 - 1, an address that is not dotted, an unknown type) raises VarnelError 13.
std::string Encode(const Message& message);

// True for the codes above.
bool KnownPduType(int code);

}  // namespace varnel::snmp
