#include <gtest/gtest.h>

#include "platform/snmp/snmp_message.h"
#include "support/test_support.h"

namespace varnel::snmp {
namespace {

using testing::ErrorOf, testing::V2c;

std::string Hex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::string ToHex(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) out += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
  return out;
}

// Datagrams as net-snmp 5.9 sends them (the fields of v1 traps are read end to end):
// snmptrap -v1 -c public H 1.3.6.1.6.3.1.1.5 127.0.0.1 2 0 1234 1.3.6.1.2.1.2.2.1.1.3 i 3
const char* const kV1LinkDown =
    "303a02010004067075626c6963a42d06082b0601060301010540047f000001020102020100430204d2301130"
    "0f060a2b060102010202010103020103";
// snmptrap -v2c -c public H 5678 1.3.6.1.4.1.99412.1.10.2.0.2 ...6.1 s node1
//   1.3.6.1.2.1.2.2.1.1.3 i -5  1.3.6.1.6.3.18.1.3.0 a 10.1.2.3
//   1.3.6.1.2.1.31.1.1.1.6.1 C 18446744073709551615
const char* const kV2Trap =
    "3081a002010104067075626c6963a78192020440a6457c020100020100308183300e06082b06010201010300"
    "4302162e301b060a2b060106030101040100060d2b06010401868854010a0200023016060d2b060104018688"
    "54010a01060104056e6f646531300f060a2b0601020102020101030201fb301106092b060106031201030040"
    "040a0102033018060b2b060102011f0101010601460900ffffffffffffffff";
// snmpget -v1 -c public H 1.3.6.1.2.1.1.3.0
const char* const kV1Get =
    "302902010004067075626c6963a01c020428ed0af4020100020100300e300c06082b060102010103000500";

TEST(SnmpCodec, DecodesNetSnmpDatagramsAndReencodesTheSameBytes) {
  auto v2 = Decode(Hex(kV2Trap)).value();
  EXPECT_EQ(std::tuple(v2.version, v2.pduType, v2.requestId),
            std::tuple(kVersion2c, pdu::kTrapV2, 0x40a6457c));
  std::string seen;
  for (const auto& v : v2.variables)
    seen += v.oid + "=" + v.value + "/" + std::to_string(v.type) + " ";
  EXPECT_EQ(seen,
            "1.3.6.1.2.1.1.3.0=5678/7 1.3.6.1.6.3.1.1.4.1.0=1.3.6.1.4.1.99412.1.10.2.0.2/3 "
            "1.3.6.1.4.1.99412.1.10.1.6.1=node1/2 1.3.6.1.2.1.2.2.1.1.3=-5/1 "
            "1.3.6.1.6.3.18.1.3.0=10.1.2.3/4 1.3.6.1.2.1.31.1.1.1.6.1=18446744073709551615/11 ");
  for (const char* hex : {kV1LinkDown, kV2Trap, kV1Get})
    EXPECT_EQ(ToHex(Encode(Decode(Hex(hex)).value())), hex);
}

TEST(SnmpCodec, EncodesEachTypeMinimally) {
  Message m = V2c(pdu::kTrapV2, {{"1.3", "", vt::kNull},
                                 {"1.3", "128", vt::kInteger},
                                 {"1.3", "-129", vt::kInteger},
                                 {"1.3", "2.999.4294967295", vt::kObjectId},
                                 {"1.3", "0", vt::kGauge32},
                                 {"1.3", "255.0.1.2", vt::kIpAddress},
                                 {"1.3", "7", vt::kUInteger32},
                                 {"1.3", std::string("a\0b", 3), vt::kOpaque}});
  m.community = "c";
  m.requestId = 1;
  std::string bytes = Encode(m);
  EXPECT_EQ(ToHex(bytes),
            "305f020101040163a757020101020100020100304c"
            "300506012b0500"                // Null
            "300706012b02020080"            // 128 needs a leading zero octet
            "300706012b0202ff7f"            // -129
            "300c06012b060788378fffffff7f"  // 2.999 packs into one sub-identifier
            "300606012b420100"              // Gauge32 0
            "300906012b4004ff000102"        // IpAddress
            "300606012b470107"              // UInteger32
            "300806012b4403610062");        // Opaque bytes
  EXPECT_EQ(ToHex(Encode(Decode(bytes).value())), ToHex(bytes));
}

TEST(SnmpCodec, ValuesThatDoNotFitTheirTypeAreTypeMismatch) {
  // One beyond 2^64 - 1 and 2^32 - 1, and so on.
  // clang-format off
  const Variable bad[] = {{"1.3", "18446744073709551616", vt::kCounter64},
      {"1.3", "4294967296", vt::kCounter32}, {"1.3", "2147483648", vt::kInteger},
      {"1.3", "three", vt::kInteger}, {"1.3", "", vt::kTimeTicks},
      {"1.3", "10.0.0", vt::kIpAddress}, {"1.3", "10.0.0.256", vt::kIpAddress},
      {"1.3", "1", vt::kObjectId},
      {"1.3", "3.1", vt::kObjectId}, {"1.3.", "", vt::kNull}, {"1.3", "", 12}};  // clang-format on
  for (const auto& v : bad)
    EXPECT_EQ(ErrorOf([&] { Encode(V2c(pdu::kTrapV2, {v})); }), 13) << v.value << " " << v.type;
  EXPECT_NE(ErrorOf([&] { Encode(V2c(pdu::kTrapV1, {})); }), 0);  // no v1 trap in v2c
}

std::string Tlv(const char* tagHex, const std::string& content) {
  std::string out = Hex(tagHex);
  if (content.size() >= 128) out += {'\x82', static_cast<char>(content.size() >> 8)};
  return out + static_cast<char>(content.size() & 0xFF) + content;
}

// A v2c trap (community "p") whose one variable binding is these bytes.
std::string V2Trap(const std::string& binding) {
  std::string pduBody = Hex("020101020100020100") + Tlv("30", Tlv("30", binding));
  return Tlv("30", Hex("020101040170") + Tlv("a7", pduBody));
}

TEST(SnmpCodec, TruncatedMalformedAndHostileDatagramsAreDropped) {
  for (const char* hex : {kV1LinkDown, kV2Trap, kV1Get}) {
    std::string full = Hex(hex);
    for (std::size_t n = 0; n < full.size(); ++n)
      EXPECT_FALSE(Decode(full.substr(0, n))) << hex << " cut at " << n;
    EXPECT_FALSE(Decode(full + '\0')) << "trailing octet";
  }
  const std::string good = V2Trap(Hex("06012b020103"));
  ASSERT_TRUE(Decode(good));
  // clang-format off
  const struct { std::size_t at; unsigned char byte; const char* why; } structures[] = {
      {0, 0x31, "SET instead of SEQUENCE"}, {0, 0x3F, "multi-octet tag"},
      {1, 0x80, "indefinite length"}, {1, 0x85, "five length octets"},
      {1, 0x7F, "length beyond the data"}, {4, 3, "version 3"}, {4, 0, "v2 trap in a v1 message"},
      {8, 0xA8, "Report PDU"}, {8, 0xA5, "GetBulk PDU"}, {8, 0xA4, "v1 trap in a v2c message"}};
  // clang-format on
  for (const auto& c : structures) {
    std::string d = good;
    d[c.at] = static_cast<char>(c.byte);
    EXPECT_FALSE(Decode(d)) << c.why;
  }
  // clang-format off
  const std::pair<const char*, const char*> bindings[] = {
      {"06062b90808080000500", "sub-identifier of 2^32"},
      {"06032b80010500", "sub-identifier padded with 0x80"}, {"06000500", "empty OID"},
      {"06012b4609010000000000000000", "Counter64 beyond 64 bits"},
      {"06012b4106000000000001", "Counter32 of six octets"},
      {"06012b02090000000000000000ff", "Integer of nine octets"},
      {"06012b40050a01020304", "IpAddress of five octets"}, {"06012b050100", "Null with content"},
      {"06012b0580", "Null of indefinite length"}, {"06012b490100", "unknown type"},
      {"06012b02010300", "extra data in a binding"}};  // clang-format on
  for (auto [hex, why] : bindings) EXPECT_FALSE(Decode(V2Trap(Hex(hex)))) << why;
  // A 32-bit unsigned value sent as a negative number reads as its two's complement.
  EXPECT_EQ(Decode(V2Trap(Hex("06012b4101ff"))).value().variables.at(0).value, "4294967295");
}

TEST(SnmpCodec, LengthsAndLimitsOfArcsAndCommunity) {
  auto oidOf = [](int arcs) {
    std::string text = "1.3";
    for (int i = 2; i < arcs; ++i) text += ".4294967295";
    return text;
  };
  auto back = Decode(Encode(V2c(pdu::kTrapV2, {{oidOf(128), "", vt::kNull}})));
  EXPECT_EQ(back.value().variables.at(0).oid, oidOf(128));
  EXPECT_NE(ErrorOf([&] { Encode(V2c(pdu::kTrapV2, {{oidOf(129), "", vt::kNull}})); }), 0);
  // 200 arcs on the wire: the whole datagram is dropped; 128 are read.
  std::string arcs = Hex("2b") + std::string(198, '\x01');
  EXPECT_FALSE(Decode(V2Trap(Tlv("06", arcs) + Hex("0500"))));
  EXPECT_TRUE(Decode(V2Trap(Tlv("06", arcs.substr(0, 127)) + Hex("0500"))));

  for (std::size_t n : {127, 128, 255, 256, 65535}) {  // where the length form changes
    back = Decode(Encode(V2c(pdu::kTrapV2, {{"1.3", std::string(n, 'x'), vt::kOctetString}})));
    EXPECT_TRUE(back && back->variables[0].value.size() == n) << n;
  }
  Message get = V2c(pdu::kGet, {{"1.3.6.1.2.1.1.1.0", "", vt::kNull}});
  get.community.assign(64 * 1024 - 64, 'x');
  EXPECT_EQ(Decode(Encode(get)).value().community, get.community);
}

}  // namespace
}  // namespace varnel::snmp
