// The subset of ASN.1 BER that SNMP v1/v2c uses: definite lengths, primitive integers,
// octet strings and object identifiers, constructed sequences.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace varnel::snmp {

// Raised by the reader on any input that is not well-formed; the message decoder turns it
// into "drop the datagram".
struct MalformedBer {
  const char* what;
};

// An OID has at most 128 sub-identifiers, each at most 2^32 - 1.
constexpr std::size_t kMaxOidArcs = 128;

namespace tag {
constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kOctetString = 0x04;
constexpr std::uint8_t kNull = 0x05;
constexpr std::uint8_t kObjectId = 0x06;
constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kIpAddress = 0x40;
constexpr std::uint8_t kCounter32 = 0x41;
constexpr std::uint8_t kGauge32 = 0x42;
constexpr std::uint8_t kTimeTicks = 0x43;
constexpr std::uint8_t kOpaque = 0x44;
constexpr std::uint8_t kNsapAddress = 0x45;
constexpr std::uint8_t kCounter64 = 0x46;
constexpr std::uint8_t kUInteger32 = 0x47;
constexpr std::uint8_t kNoSuchObject = 0x80;
constexpr std::uint8_t kNoSuchInstance = 0x81;
constexpr std::uint8_t kEndOfMibView = 0x82;
constexpr std::uint8_t kPduBase = 0xA0;  // context-specific, constructed: 0xA0 + PDU number
}  // namespace tag

// Reads consecutive TLVs from a buffer; every read checks the bounds of what is left.
class BerReader {
 public:
  explicit BerReader(std::string_view data) : data_(data) {}
  bool AtEnd() const { return pos_ == data_.size(); }
  std::uint8_t PeekTag() const;
  // Reads one TLV and returns its content; raises MalformedBer.
  std::string_view Read(std::uint8_t& tagOut);
  // Reads one TLV that must carry the expected tag.
  std::string_view Expect(std::uint8_t expectedTag);
  // Position after the last TLV read (for callers that keep the rest of a buffer).
  std::size_t Position() const { return pos_; }

 private:
  std::string_view data_;
  std::size_t pos_ = 0;
};

// Content decoders; each raises MalformedBer.
std::int64_t DecodeSigned(std::string_view content, std::size_t maxBytes);
std::uint64_t DecodeUnsigned(std::string_view content, std::size_t maxBytes);
std::string DecodeOid(std::string_view content);  // dotted text
void DecodeOidInto(std::string_view content, std::string& out);  // the same, into out

// Writers append a complete TLV to out.
void AppendLength(std::string& out, std::size_t length);
void AppendTlv(std::string& out, std::uint8_t tagValue, std::string_view content);
void AppendSigned(std::string& out, std::uint8_t tagValue, std::int64_t value);
void AppendUnsigned(std::string& out, std::uint8_t tagValue, std::uint64_t value);
// Dotted text to an OID TLV; returns false (and appends nothing) when the text is not an OID.
bool AppendOid(std::string& out, std::string_view dotted);

}  // namespace varnel::snmp
