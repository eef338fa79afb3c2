#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/snmp/snmp_message.h"

namespace varnel::snmp {
namespace {

std::string Hex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::string ToHex(const std::string& bytes) {
  static const char* d = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

// Datagrams as net-snmp 5.9 sends them:
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

TEST(SnmpCodec, DecodesNetSnmpV1Trap) {
  auto m = Decode(Hex(kV1LinkDown));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->version, kVersion1);
  EXPECT_EQ(m->community, "public");
  EXPECT_EQ(m->pduType, pdu::kTrapV1);
  EXPECT_EQ(m->enterprise, "1.3.6.1.6.3.1.1.5");
  EXPECT_EQ(m->agentAddress, "127.0.0.1");
  EXPECT_EQ(m->genericTrap, 2);
  EXPECT_EQ(m->specificTrap, 0);
  EXPECT_EQ(m->timeStamp, 1234u);
  ASSERT_EQ(m->variables.size(), 1u);
  EXPECT_EQ(m->variables[0].oid, "1.3.6.1.2.1.2.2.1.1.3");
  EXPECT_EQ(m->variables[0].value, "3");
  EXPECT_EQ(m->variables[0].type, vt::kInteger);
}

TEST(SnmpCodec, DecodesNetSnmpV2TrapWithEveryTextForm) {
  auto m = Decode(Hex(kV2Trap));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->version, kVersion2c);
  EXPECT_EQ(m->pduType, pdu::kTrapV2);
  EXPECT_EQ(m->requestId, 0x40a6457c);
  ASSERT_EQ(m->variables.size(), 6u);
  auto expect = [&](std::size_t i, const char* oid, const char* value, int type) {
    EXPECT_EQ(m->variables[i].oid, oid) << i;
    EXPECT_EQ(m->variables[i].value, value) << i;
    EXPECT_EQ(m->variables[i].type, type) << i;
  };
  expect(0, "1.3.6.1.2.1.1.3.0", "5678", vt::kTimeTicks);
  expect(1, "1.3.6.1.6.3.1.1.4.1.0", "1.3.6.1.4.1.99412.1.10.2.0.2", vt::kObjectId);
  expect(2, "1.3.6.1.4.1.99412.1.10.1.6.1", "node1", vt::kOctetString);
  expect(3, "1.3.6.1.2.1.2.2.1.1.3", "-5", vt::kInteger);
  expect(4, "1.3.6.1.6.3.18.1.3.0", "10.1.2.3", vt::kIpAddress);
  expect(5, "1.3.6.1.2.1.31.1.1.1.6.1", "18446744073709551615", vt::kCounter64);
}

TEST(SnmpCodec, EncodingReproducesNetSnmpBytes) {
  for (const char* hex : {kV1LinkDown, kV2Trap, kV1Get}) {
    auto m = Decode(Hex(hex));
    ASSERT_TRUE(m);
    EXPECT_EQ(ToHex(Encode(*m)), hex);
  }
}

TEST(SnmpCodec, EncodesEachTypeMinimally) {
  Message m;
  m.version = kVersion2c;
  m.pduType = pdu::kTrapV2;
  m.community = "c";
  m.requestId = 1;
  m.variables = {{"1.3", "", vt::kNull},
                 {"1.3", "128", vt::kInteger},
                 {"1.3", "-129", vt::kInteger},
                 {"1.3", "2.999.4294967295", vt::kObjectId},
                 {"1.3", "0", vt::kGauge32},
                 {"1.3", "255.0.1.2", vt::kIpAddress},
                 {"1.3", "7", vt::kUInteger32},
                 {"1.3", std::string("a\0b", 3), vt::kOpaque}};
  std::string bytes = Encode(m);
  EXPECT_EQ(ToHex(bytes),
            "305f020101040163a757020101020100020100304c"
            "300506012b0500"                  // Null
            "300706012b02020080"              // 128 needs a leading zero octet
            "300706012b0202ff7f"              // -129
            "300c06012b060788378fffffff7f"    // 2.999 packs into one sub-identifier
            "300606012b420100"                // Gauge32 0
            "300906012b4004ff000102"          // IpAddress
            "300606012b470107"                // UInteger32
            "300806012b4403610062");          // Opaque bytes
  auto back = Decode(bytes);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->variables.size(), m.variables.size());
  for (std::size_t i = 0; i < m.variables.size(); ++i) {
    EXPECT_EQ(back->variables[i].value, m.variables[i].value) << i;
    EXPECT_EQ(back->variables[i].type, m.variables[i].type) << i;
  }
}

TEST(SnmpCodec, ValuesThatDoNotFitTheirTypeAreTypeMismatch) {
  Message m;
  m.version = kVersion2c;
  m.pduType = pdu::kTrapV2;
  const Variable bad[] = {
      {"1.3", "18446744073709551616", vt::kCounter64},  // one beyond 2^64 - 1
      {"1.3", "4294967296", vt::kCounter32},
      {"1.3", "2147483648", vt::kInteger},
      {"1.3", "three", vt::kInteger},
      {"1.3", "", vt::kTimeTicks},
      {"1.3", "10.0.0", vt::kIpAddress},
      {"1.3", "10.0.0.256", vt::kIpAddress},
      {"1.3", "1", vt::kObjectId},
      {"1.3", "3.1", vt::kObjectId},
      {"1.3.", "", vt::kNull},
      {"1.3", "", 12},
  };
  for (const auto& v : bad) {
    m.variables = {v};
    try {
      Encode(m);
      ADD_FAILURE() << v.value << " type " << v.type << " encoded";
    } catch (const VarnelError& e) {
      EXPECT_EQ(e.Number(), 13);
    }
  }
  m.variables.clear();
  m.pduType = pdu::kTrapV1;  // a v1 trap in a v2c message does not exist
  EXPECT_THROW(Encode(m), VarnelError);
}

std::string Tlv(const char* tagHex, const std::string& content) {
  std::string out = Hex(tagHex);
  if (content.size() < 128) {
    out += static_cast<char>(content.size());
  } else {
    out += static_cast<char>(0x82);
    out += static_cast<char>(content.size() >> 8);
    out += static_cast<char>(content.size() & 0xFF);
  }
  return out + content;
}

// A v2c trap (community "p") whose variable list holds the given bindings.
std::string V2Trap(const std::string& varBinds) {
  std::string pduBody = Hex("020101020100020100") + Tlv("30", varBinds);
  return Tlv("30", Hex("020101040170") + Tlv("a7", pduBody));
}

// One binding of OID 1.3 with the value TLV given in hex.
std::string Bind13(const char* valueHex) { return Tlv("30", Hex("06012b") + Hex(valueHex)); }

TEST(SnmpCodec, EveryTruncationOfAValidMessageIsDropped) {
  for (const char* hex : {kV1LinkDown, kV2Trap, kV1Get}) {
    std::string full = Hex(hex);
    for (std::size_t n = 0; n < full.size(); ++n)
      EXPECT_FALSE(Decode(full.substr(0, n))) << hex << " cut at " << n;
    EXPECT_FALSE(Decode(full + '\0')) << "trailing octet";
  }
}

TEST(SnmpCodec, MalformedStructuresAreDropped) {
  const std::string good = V2Trap(Bind13("020103"));
  ASSERT_TRUE(Decode(good));
  auto with = [&](std::size_t at, unsigned char byte) {
    std::string d = good;
    d[at] = static_cast<char>(byte);
    return d;
  };
  EXPECT_FALSE(Decode(with(0, 0x31))) << "SET instead of SEQUENCE";
  EXPECT_FALSE(Decode(with(0, 0x3F))) << "multi-octet tag";
  EXPECT_FALSE(Decode(with(1, 0x80))) << "indefinite length";
  EXPECT_FALSE(Decode(with(1, 0x85))) << "five length octets";
  EXPECT_FALSE(Decode(with(4, 3))) << "version 3";
  EXPECT_FALSE(Decode(with(4, 0))) << "v2 trap in a v1 message";
  EXPECT_FALSE(Decode(with(8, 0xA8))) << "Report PDU";
  EXPECT_FALSE(Decode(with(8, 0xA5))) << "GetBulk PDU";
  EXPECT_FALSE(Decode(with(8, 0xA4))) << "v1 trap in a v2c message";
  EXPECT_FALSE(Decode(with(1, 0x7F))) << "length beyond the data";
}

TEST(SnmpCodec, HostileValuesAreDroppedOrBounded) {
  EXPECT_FALSE(Decode(V2Trap(Tlv("30", Hex("06062b9080808000") + Hex("0500")))))
      << "sub-identifier of 2^32";
  EXPECT_FALSE(Decode(V2Trap(Tlv("30", Hex("06032b8001") + Hex("0500")))))
      << "sub-identifier padded with 0x80";
  EXPECT_FALSE(Decode(V2Trap(Tlv("30", Hex("0600") + Hex("0500"))))) << "empty OID";
  EXPECT_FALSE(Decode(V2Trap(Bind13("4609010000000000000000")))) << "Counter64 beyond 64 bits";
  EXPECT_FALSE(Decode(V2Trap(Bind13("4106000000000001")))) << "Counter32 of six octets";
  EXPECT_FALSE(Decode(V2Trap(Bind13("02090000000000000000ff")))) << "Integer of nine octets";
  EXPECT_FALSE(Decode(V2Trap(Bind13("40050a01020304")))) << "IpAddress of five octets";
  EXPECT_FALSE(Decode(V2Trap(Bind13("050100")))) << "Null with content";
  EXPECT_FALSE(Decode(V2Trap(Bind13("490100")))) << "unknown type";
  EXPECT_FALSE(Decode(V2Trap(Bind13("020103") + Hex("00")))) << "extra data in a binding";
  // A 32-bit unsigned value sent as a negative number reads as its two's complement.
  auto m = Decode(V2Trap(Bind13("4101ff")));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->variables[0].value, "4294967295");
}

TEST(SnmpCodec, ObjectIdentifiersOfAtMost128Arcs) {
  auto oidOf = [](int arcs) {
    std::string text = "1.3";
    for (int i = 2; i < arcs; ++i) text += ".4294967295";
    return text;
  };
  Message m;
  m.version = kVersion2c;
  m.pduType = pdu::kTrapV2;
  m.variables = {{oidOf(128), "", vt::kNull}};
  auto back = Decode(Encode(m));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->variables[0].oid, oidOf(128));
  m.variables = {{oidOf(129), "", vt::kNull}};
  EXPECT_THROW(Encode(m), VarnelError);
  // 200 arcs on the wire: the whole datagram is dropped.
  std::string content = Hex("2b");
  for (int i = 2; i < 200; ++i) content += Hex("01");
  EXPECT_FALSE(Decode(V2Trap(Tlv("30", Tlv("06", content) + Hex("0500")))));
  EXPECT_TRUE(Decode(V2Trap(Tlv("30", Tlv("06", content.substr(0, 127)) + Hex("0500")))));
}

TEST(SnmpCodec, HugeCommunityDecodesWhole) {
  Message m;
  m.version = kVersion2c;
  m.pduType = pdu::kGet;
  m.community.assign(64 * 1024 - 64, 'x');
  m.variables = {{"1.3.6.1.2.1.1.1.0", "", vt::kNull}};
  auto back = Decode(Encode(m));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->community.size(), m.community.size());
}

}  // namespace
}  // namespace varnel::snmp
