#include "platform/snmp/snmp_message.h"

#include <charconv>

#include "platform/error.h"
#include "platform/snmp/ber.h"

namespace varnel::snmp {
namespace {

template <class Number>
void AssignNumber(std::string& out, Number v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.assign(buf, r.ptr);
}

void AssignDottedAddress(std::string& out, std::string_view content) {
  if (content.size() != 4) throw MalformedBer{"IpAddress of other than four octets"};
  out.clear();
  for (std::size_t i = 0; i < 4; ++i) {
    if (i) out += '.';
    const unsigned v = static_cast<std::uint8_t>(content[i]);
    if (v >= 100) out += static_cast<char>('0' + v / 100);
    if (v >= 10) out += static_cast<char>('0' + v / 10 % 10);
    out += static_cast<char>('0' + v % 10);
  }
}

// Fills v; its strings keep their storage from an earlier message.
void DecodeVariable(std::string_view varBind, int version, Variable& v) {
  BerReader r(varBind);
  DecodeOidInto(r.Expect(tag::kObjectId), v.oid);
  std::uint8_t t = 0;
  std::string_view c = r.Read(t);
  if (!r.AtEnd()) throw MalformedBer{"extra data in a variable binding"};
  switch (t) {
    case tag::kInteger:
      v.type = vt::kInteger;
      AssignNumber(v.value, DecodeSigned(c, 8));
      break;
    case tag::kOctetString:
      v.type = vt::kOctetString;
      v.value.assign(c);
      break;
    case tag::kNull:
      if (!c.empty()) throw MalformedBer{"Null with content"};
      v.type = vt::kNull;
      v.value.clear();
      break;
    case tag::kObjectId:
      v.type = vt::kObjectId;
      DecodeOidInto(c, v.value);
      break;
    case tag::kIpAddress:
      v.type = vt::kIpAddress;
      AssignDottedAddress(v.value, c);
      break;
    case tag::kCounter32:
      v.type = vt::kCounter32;
      AssignNumber(v.value, DecodeUnsigned(c, 5));
      break;
    case tag::kGauge32:
      v.type = vt::kGauge32;
      AssignNumber(v.value, DecodeUnsigned(c, 5));
      break;
    case tag::kTimeTicks:
      v.type = vt::kTimeTicks;
      AssignNumber(v.value, DecodeUnsigned(c, 5));
      break;
    case tag::kUInteger32:
      v.type = vt::kUInteger32;
      AssignNumber(v.value, DecodeUnsigned(c, 5));
      break;
    case tag::kOpaque:
      v.type = vt::kOpaque;
      v.value.assign(c);
      break;
    case tag::kNsapAddress:
      v.type = vt::kNsapAddress;
      v.value.assign(c);
      break;
    case tag::kCounter64:
      if (version == kVersion1) throw MalformedBer{"Counter64 in a v1 message"};
      v.type = vt::kCounter64;
      AssignNumber(v.value, DecodeUnsigned(c, 9));
      break;
    case tag::kNoSuchObject:
    case tag::kNoSuchInstance:
    case tag::kEndOfMibView:
      // v2c exceptions carry no value; they read as Null.
      if (version == kVersion1 || !c.empty()) throw MalformedBer{"bad exception value"};
      v.type = vt::kNull;
      v.value.clear();
      break;
    default: throw MalformedBer{"unknown value type"};
  }
}

void DecodeVariables(std::string_view list, int version, std::vector<Variable>& out) {
  BerReader r(list);
  std::size_t n = 0;
  for (; !r.AtEnd(); ++n) {
    if (n == out.size()) out.emplace_back();
    DecodeVariable(r.Expect(tag::kSequence), version, out[n]);
  }
  out.resize(n);
}

std::int32_t DecodeInt32(std::string_view content) {
  std::int64_t v = DecodeSigned(content, 4);
  return static_cast<std::int32_t>(v);
}

// PDU number (tag - 0xA0) allowed in each version.
bool PduAllowed(int version, int number) {
  if (version == kVersion1) return number >= 0 && number <= 4;
  return (number >= 0 && number <= 3) || number == 6 || number == 7;
}

// Fills every field of m from the datagram; the strings and variables of m keep their storage.
void DecodeMessage(std::string_view datagram, Message& m) {
  BerReader outer(datagram);
  std::string_view body = outer.Expect(tag::kSequence);
  if (!outer.AtEnd()) throw MalformedBer{"data after the message"};
  BerReader r(body);
  std::int64_t version = DecodeSigned(r.Expect(tag::kInteger), 4);
  if (version != kVersion1 && version != kVersion2c) throw MalformedBer{"unsupported version"};
  m.version = static_cast<int>(version);
  m.community.assign(r.Expect(tag::kOctetString));
  std::uint8_t pduTag = 0;
  std::string_view pdu = r.Read(pduTag);
  if (!r.AtEnd()) throw MalformedBer{"data after the PDU"};
  int number = pduTag - tag::kPduBase;
  if (!PduAllowed(m.version, number)) throw MalformedBer{"PDU type not handled"};
  m.pduType = (m.version == kVersion1 ? pdu::kGetV1 : pdu::kGet) + number;
  BerReader p(pdu);
  m.requestId = m.errorStatus = m.errorIndex = 0;
  m.genericTrap = m.specificTrap = 0;
  m.timeStamp = 0;
  m.enterprise.clear();
  m.agentAddress.clear();
  m.senderAddress.clear();
  m.senderPort = 0;
  if (m.pduType == pdu::kTrapV1) {
    DecodeOidInto(p.Expect(tag::kObjectId), m.enterprise);
    AssignDottedAddress(m.agentAddress, p.Expect(tag::kIpAddress));
    std::int64_t generic = DecodeSigned(p.Expect(tag::kInteger), 4);
    if (generic < 0 || generic > 6) throw MalformedBer{"bad generic trap"};
    m.genericTrap = static_cast<int>(generic);
    m.specificTrap = DecodeInt32(p.Expect(tag::kInteger));
    m.timeStamp = static_cast<std::uint32_t>(DecodeUnsigned(p.Expect(tag::kTimeTicks), 5));
  } else {
    m.requestId = DecodeInt32(p.Expect(tag::kInteger));
    m.errorStatus = static_cast<int>(DecodeSigned(p.Expect(tag::kInteger), 4));
    m.errorIndex = static_cast<int>(DecodeSigned(p.Expect(tag::kInteger), 4));
  }
  DecodeVariables(p.Expect(tag::kSequence), m.version, m.variables);
  if (!p.AtEnd()) throw MalformedBer{"data after the variable list"};
}

[[noreturn]] void BadValue(const Variable& v, const char* why) {
  throw VarnelError(err::kTypeMismatch,
                    std::string("Type mismatch: ") + why + " (" + v.oid + "=" + v.value + ")");
}

template <class T>
bool ParseNumber(std::string_view text, T& out) {
  // Blanks around the number are allowed, as in the database's own number conversion.
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  auto r = std::from_chars(text.data(), text.data() + text.size(), out);
  return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

void AppendAddress(std::string& out, const Variable& v, const std::string& text) {
  std::string octets;
  std::size_t p = 0;
  for (int i = 0; i < 4; ++i) {
    std::size_t dot = i < 3 ? text.find('.', p) : text.size();
    if (dot == std::string::npos) BadValue(v, "not a dotted address");
    unsigned n = 0;
    std::string_view part(text.data() + p, dot - p);
    auto r = std::from_chars(part.data(), part.data() + part.size(), n);
    if (part.empty() || r.ec != std::errc() || r.ptr != part.data() + part.size() || n > 255)
      BadValue(v, "not a dotted address");
    octets += static_cast<char>(n);
    p = dot + 1;
  }
  AppendTlv(out, tag::kIpAddress, octets);
}

void AppendVariable(std::string& out, const Variable& v) {
  std::string bind;
  if (!AppendOid(bind, v.oid)) BadValue(v, "not an object identifier");
  switch (v.type) {
    case vt::kNull: AppendTlv(bind, tag::kNull, {}); break;
    case vt::kInteger: {
      std::int32_t n = 0;
      if (!ParseNumber(v.value, n)) BadValue(v, "not an Integer");
      AppendSigned(bind, tag::kInteger, n);
      break;
    }
    case vt::kOctetString: AppendTlv(bind, tag::kOctetString, v.value); break;
    case vt::kObjectId:
      if (!AppendOid(bind, v.value)) BadValue(v, "not an object identifier");
      break;
    case vt::kIpAddress: AppendAddress(bind, v, v.value); break;
    case vt::kCounter32:
    case vt::kGauge32:
    case vt::kTimeTicks:
    case vt::kUInteger32: {
      std::uint32_t n = 0;
      if (!ParseNumber(v.value, n)) BadValue(v, "not an unsigned 32-bit number");
      static const std::uint8_t kTags[] = {tag::kCounter32, tag::kGauge32, tag::kTimeTicks};
      std::uint8_t t =
          v.type == vt::kUInteger32 ? tag::kUInteger32 : kTags[v.type - vt::kCounter32];
      AppendUnsigned(bind, t, n);
      break;
    }
    case vt::kOpaque: AppendTlv(bind, tag::kOpaque, v.value); break;
    case vt::kNsapAddress: AppendTlv(bind, tag::kNsapAddress, v.value); break;
    case vt::kCounter64: {
      std::uint64_t n = 0;
      if (!ParseNumber(v.value, n)) BadValue(v, "not an unsigned 64-bit number");
      AppendUnsigned(bind, tag::kCounter64, n);
      break;
    }
    default: BadValue(v, "unknown variable type");
  }
  AppendTlv(out, tag::kSequence, bind);
}

}  // namespace

bool KnownPduType(int code) {
  return (code >= pdu::kGetV1 && code <= pdu::kTrapV1) ||
         (code >= pdu::kGet && code <= pdu::kSet) || code == pdu::kInform || code == pdu::kTrapV2;
}

bool DecodeInto(std::string_view datagram, Message& message) {
  try {
    DecodeMessage(datagram, message);
    return true;
  } catch (const MalformedBer&) {
    return false;
  }
}

std::optional<Message> Decode(std::string_view datagram) {
  Message m;
  if (!DecodeInto(datagram, m)) return std::nullopt;
  return m;
}

std::string Encode(const Message& m) {
  if (!KnownPduType(m.pduType))
    throw VarnelError(err::kTypeMismatch, "Unknown PDU type " + std::to_string(m.pduType));
  int number = m.pduType - (m.pduType >= pdu::kGet ? pdu::kGet : pdu::kGetV1);
  if (m.version != kVersion1 && m.version != kVersion2c)
    throw VarnelError(err::kTypeMismatch, "Unknown SNMP version " + std::to_string(m.version));
  if (!PduAllowed(m.version, number))
    throw VarnelError(err::kTypeMismatch, "PDU type " + std::to_string(m.pduType) +
                                              " does not exist in this SNMP version");
  std::string pduBody;
  if (m.pduType == pdu::kTrapV1) {
    Variable enterprise{m.enterprise, "", vt::kObjectId};
    if (!AppendOid(pduBody, m.enterprise))
      BadValue(enterprise, "enterprise is not an object identifier");
    AppendAddress(pduBody, Variable{"agent-addr", m.agentAddress, vt::kIpAddress}, m.agentAddress);
    AppendSigned(pduBody, tag::kInteger, m.genericTrap);
    AppendSigned(pduBody, tag::kInteger, m.specificTrap);
    AppendUnsigned(pduBody, tag::kTimeTicks, m.timeStamp);
  } else {
    AppendSigned(pduBody, tag::kInteger, m.requestId);
    AppendSigned(pduBody, tag::kInteger, m.errorStatus);
    AppendSigned(pduBody, tag::kInteger, m.errorIndex);
  }
  std::string list;
  for (const auto& v : m.variables) AppendVariable(list, v);
  AppendTlv(pduBody, tag::kSequence, list);

  std::string body;
  AppendSigned(body, tag::kInteger, m.version);
  AppendTlv(body, tag::kOctetString, m.community);
  AppendTlv(body, static_cast<std::uint8_t>(tag::kPduBase + number), pduBody);
  std::string out;
  AppendTlv(out, tag::kSequence, body);
  return out;
}

}  // namespace varnel::snmp
