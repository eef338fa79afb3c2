#include "platform/snmp/ber.h"

#include <charconv>

namespace varnel::snmp {

std::uint8_t BerReader::PeekTag() const {
  if (pos_ >= data_.size()) throw MalformedBer{"truncated tag"};
  return static_cast<std::uint8_t>(data_[pos_]);
}

std::string_view BerReader::Read(std::uint8_t& tagOut) {
  std::size_t p = pos_;
  if (p >= data_.size()) throw MalformedBer{"truncated tag"};
  auto t = static_cast<std::uint8_t>(data_[p++]);
  if ((t & 0x1F) == 0x1F) throw MalformedBer{"multi-byte tag"};
  if (p >= data_.size()) throw MalformedBer{"truncated length"};
  auto first = static_cast<std::uint8_t>(data_[p++]);
  std::size_t length = first;
  if (first & 0x80) {
    // Long form: 1 to 4 length octets. Senders often use more octets than needed, which is
    // allowed; the indefinite form (0x80) is not allowed in SNMP.
    std::size_t n = first & 0x7F;
    if (n == 0 || n > 4) throw MalformedBer{"bad length form"};
    if (data_.size() - p < n) throw MalformedBer{"truncated length"};
    length = 0;
    for (std::size_t i = 0; i < n; ++i)
      length = (length << 8) | static_cast<std::uint8_t>(data_[p++]);
  }
  if (length > data_.size() - p) throw MalformedBer{"length beyond the data"};
  tagOut = t;
  pos_ = p + length;
  return data_.substr(p, length);
}

std::string_view BerReader::Expect(std::uint8_t expectedTag) {
  std::uint8_t t = 0;
  std::string_view content = Read(t);
  if (t != expectedTag) throw MalformedBer{"unexpected tag"};
  return content;
}

std::int64_t DecodeSigned(std::string_view content, std::size_t maxBytes) {
  if (content.empty() || content.size() > maxBytes) throw MalformedBer{"bad integer length"};
  // Two's complement, most significant octet first.
  auto v = static_cast<std::uint64_t>(static_cast<std::int8_t>(content[0]));
  for (std::size_t i = 1; i < content.size(); ++i)
    v = (v << 8) | static_cast<std::uint8_t>(content[i]);
  return static_cast<std::int64_t>(v);
}

std::uint64_t DecodeUnsigned(std::string_view content, std::size_t maxBytes) {
  // An unsigned value of maxBytes - 1 octets needs a leading zero octet when its high bit is set.
  if (content.empty() || content.size() > maxBytes) throw MalformedBer{"bad integer length"};
  if (content.size() == maxBytes && content[0] != 0) throw MalformedBer{"unsigned overflow"};
  std::uint64_t v = 0;
  if (content.size() < maxBytes && (static_cast<std::uint8_t>(content[0]) & 0x80)) {
    // A negative encoding of an unsigned type: read it as the two's complement value cut to
    // the type's width, as common agents do.
    v = ~std::uint64_t{0};
  }
  for (char c : content) v = (v << 8) | static_cast<std::uint8_t>(c);
  if (maxBytes <= 5) v &= 0xFFFFFFFFu;
  return v;
}

void DecodeOidInto(std::string_view content, std::string& out) {
  if (content.empty()) throw MalformedBer{"empty object identifier"};
  // Written into a buffer of the longest text first: appending arc by arc to the string cost
  // more than the decoding.
  char text[kMaxOidArcs * 11];
  std::size_t length = 0;
  std::size_t arcs = 0;
  auto append = [&](std::uint32_t arc) {
    if (++arcs > kMaxOidArcs) throw MalformedBer{"too many sub-identifiers"};
    if (arcs > 1) text[length++] = '.';
    if (arc < 10) {
      text[length++] = static_cast<char>('0' + arc);
      return;
    }
    length =
        static_cast<std::size_t>(std::to_chars(text + length, text + sizeof text, arc).ptr - text);
  };
  std::size_t i = 0;
  while (i < content.size()) {
    std::uint64_t v = 0;
    std::size_t start = i;
    if (static_cast<std::uint8_t>(content[i]) == 0x80) throw MalformedBer{"padded sub-identifier"};
    for (;;) {
      if (i >= content.size()) throw MalformedBer{"truncated sub-identifier"};
      auto b = static_cast<std::uint8_t>(content[i++]);
      v = (v << 7) | (b & 0x7F);
      if (v > 0xFFFFFFFFu) throw MalformedBer{"sub-identifier too large"};
      if (!(b & 0x80)) break;
      if (i - start >= 5) throw MalformedBer{"sub-identifier too long"};
    }
    if (start == 0) {
      // The first sub-identifier packs the first two arcs.
      std::uint64_t first = v < 40 ? 0 : v < 80 ? 1 : 2;
      append(static_cast<std::uint32_t>(first));
      append(static_cast<std::uint32_t>(v - first * 40));
    } else {
      append(static_cast<std::uint32_t>(v));
    }
  }
  out.assign(text, length);
}

std::string DecodeOid(std::string_view content) {
  std::string out;
  DecodeOidInto(content, out);
  return out;
}

void AppendLength(std::string& out, std::size_t length) {
  if (length < 0x80) {
    out += static_cast<char>(length);
    return;
  }
  int n = length > 0xFFFFFF ? 4 : length > 0xFFFF ? 3 : length > 0xFF ? 2 : 1;
  out += static_cast<char>(0x80 | n);
  for (int i = n - 1; i >= 0; --i) out += static_cast<char>((length >> (8 * i)) & 0xFF);
}

void AppendTlv(std::string& out, std::uint8_t tagValue, std::string_view content) {
  out += static_cast<char>(tagValue);
  AppendLength(out, content.size());
  out.append(content);
}

void AppendSigned(std::string& out, std::uint8_t tagValue, std::int64_t value) {
  char bytes[8];
  const int n = 8;
  auto bits = static_cast<std::uint64_t>(value);
  for (int i = 0; i < n; ++i) bytes[i] = static_cast<char>((bits >> (8 * (n - 1 - i))) & 0xFF);
  // Drop leading octets that only repeat the sign.
  int start = 0;
  while (start < 7) {
    auto b = static_cast<std::uint8_t>(bytes[start]);
    auto next = static_cast<std::uint8_t>(bytes[start + 1]);
    if ((b == 0x00 && !(next & 0x80)) || (b == 0xFF && (next & 0x80)))
      ++start;
    else
      break;
  }
  AppendTlv(out, tagValue, std::string_view(bytes + start, static_cast<std::size_t>(n - start)));
}

void AppendUnsigned(std::string& out, std::uint8_t tagValue, std::uint64_t value) {
  char bytes[9];
  bytes[0] = 0;
  for (int i = 1; i <= 8; ++i) bytes[i] = static_cast<char>((value >> (8 * (8 - i))) & 0xFF);
  int start = 0;
  while (start < 8 && bytes[start] == 0 && !(static_cast<std::uint8_t>(bytes[start + 1]) & 0x80))
    ++start;
  AppendTlv(out, tagValue, std::string_view(bytes + start, static_cast<std::size_t>(9 - start)));
}

bool AppendOid(std::string& out, std::string_view dotted) {
  std::uint32_t arcs[kMaxOidArcs];
  std::size_t n = 0;
  std::size_t p = 0;
  if (!dotted.empty() && dotted[0] == '.') p = 1;  // ".1.3.6" is the same OID as "1.3.6"
  while (p <= dotted.size()) {
    std::size_t dot = dotted.find('.', p);
    if (dot == std::string_view::npos) dot = dotted.size();
    std::string_view part = dotted.substr(p, dot - p);
    std::uint32_t v = 0;
    auto r = std::from_chars(part.data(), part.data() + part.size(), v);
    if (part.empty() || r.ec != std::errc() || r.ptr != part.data() + part.size()) return false;
    if (n == kMaxOidArcs) return false;
    arcs[n++] = v;
    p = dot + 1;
  }
  if (n < 2 || arcs[0] > 2 || (arcs[0] < 2 && arcs[1] >= 40)) return false;
  if (static_cast<std::uint64_t>(arcs[0]) * 40 + arcs[1] > 0xFFFFFFFFu) return false;
  std::string content;
  auto put = [&](std::uint64_t v) {
    char tmp[5];
    int k = 0;
    do {
      tmp[k++] = static_cast<char>(v & 0x7F);
      v >>= 7;
    } while (v);
    while (k > 0) {
      --k;
      content += static_cast<char>(tmp[k] | (k ? 0x80 : 0));
    }
  };
  put(static_cast<std::uint64_t>(arcs[0]) * 40 + arcs[1]);
  for (std::size_t i = 2; i < n; ++i) put(arcs[i]);
  AppendTlv(out, tag::kObjectId, content);
  return true;
}

}  // namespace varnel::snmp
