#include "transports/sms_decode.h"

#include <cstdint>

#include "platform/error.h"
#include "platform/text.h"
#include "transports/ansi_text.h"
#include "transports/gsm_charset.h"

namespace varnel {
namespace {

[[noreturn]] void Malformed(const std::string& why) {
  throw VarnelError(err::kTypeMismatch, "Invalid PDU: " + why);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<std::uint8_t> Octets(const std::string& hex) {
  if (hex.size() % 2 != 0) Malformed("odd length");
  std::vector<std::uint8_t> out;
  out.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) Malformed("not hexadecimal");
    out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  return out;
}

// Septets first..count-1 of packed data (septet n starts at bit 7n, low bits first).
std::string Unpack(const std::uint8_t* data, std::size_t first, std::size_t count) {
  std::string out;
  for (std::size_t n = first; n < count; ++n) {
    std::size_t bit = n * 7;
    unsigned v = data[bit / 8] >> (bit % 8);
    if (bit % 8 > 1) v |= static_cast<unsigned>(data[bit / 8 + 1]) << (8 - bit % 8);
    out += static_cast<char>(v & 0x7F);
  }
  return out;
}

enum class Alphabet { Gsm7, Octets, Ucs2 };

Alphabet AlphabetOf(unsigned dcs) {
  unsigned group = dcs >> 4;
  if (group <= 7) {  // general data coding, with or without automatic deletion
    if (dcs & 0x20) return Alphabet::Octets;  // compressed: not readable as text
    unsigned a = (dcs >> 2) & 3;
    return a == 1 ? Alphabet::Octets : a == 2 ? Alphabet::Ucs2 : Alphabet::Gsm7;
  }
  if (group == 0xE) return Alphabet::Ucs2;
  if (group == 0xF) return (dcs & 4) ? Alphabet::Octets : Alphabet::Gsm7;
  return Alphabet::Gsm7;  // message waiting groups and reserved codings
}

std::string Ucs2Text(const std::uint8_t* p, std::size_t octets) {
  std::string out;
  for (std::size_t i = 0; i + 1 < octets; i += 2) {
    char32_t u = static_cast<char32_t>(p[i] << 8 | p[i + 1]);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < octets) {
      char32_t lo = static_cast<char32_t>(p[i + 2] << 8 | p[i + 3]);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
        i += 2;
      }
    }
    out += Utf8Of(u);
  }
  return out;
}

// A drop-file line holds one message: control characters become blanks.
std::string Blanked(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  return out;
}

bool AllDigits(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

ReceivedSms DecodeSmsDeliver(const std::string& pdu) {
  std::vector<std::uint8_t> o = Octets(Trim(pdu));
  if (o.size() < 2) Malformed("too short");
  const bool hasHeader = (o[0] & 0x40) != 0;
  const std::size_t digits = o[1];
  const std::size_t addrOctets = (digits + 1) / 2;
  const std::size_t udStart = 3 + addrOctets + 1 + 1 + 7 + 1;
  if (o.size() < udStart) Malformed("address or header beyond the data");
  const unsigned toa = o[2];
  const unsigned dcs = o[3 + addrOctets + 1];
  const std::size_t udl = o[udStart - 1];
  const std::uint8_t* ud = o.data() + udStart;
  const std::size_t udSize = o.size() - udStart;

  ReceivedSms sms;
  if ((toa & 0x70) == 0x50) {
    // Alphanumeric sender: GSM 7-bit text in the address field.
    sms.number = IA5defIncom(Unpack(o.data() + 3, 0, digits * 4 / 7));
  } else {
    static const char* kHex = "0123456789ABCDEF";
    for (std::size_t i = 0; i < addrOctets; ++i) {
      const unsigned octet = o[3 + i];
      for (unsigned nibble : {octet & 15u, octet >> 4})
        if (nibble != 15) sms.number += kHex[nibble];
    }
  }
  sms.number = Trim(Blanked(sms.number));

  const std::size_t headerOctets = hasHeader && udSize > 0 ? ud[0] + 1u : 0;
  switch (AlphabetOf(dcs)) {
    case Alphabet::Gsm7: {
      if ((udl * 7 + 7) / 8 > udSize) Malformed("user data length beyond the data");
      std::size_t skip = (headerOctets * 8 + 6) / 7;
      if (skip > udl) Malformed("user data header beyond the data");
      sms.text = IA5defIncom(Unpack(ud, skip, udl));
      break;
    }
    case Alphabet::Octets:
    case Alphabet::Ucs2: {
      if (udl > udSize) Malformed("user data length beyond the data");
      if (headerOctets > udl) Malformed("user data header beyond the data");
      if (AlphabetOf(dcs) == Alphabet::Ucs2) {
        sms.text = Ucs2Text(ud + headerOctets, udl - headerOctets);
      } else {
        for (std::size_t i = headerOctets; i < udl; ++i) sms.text += AnsiChar(ud[i]);
      }
      break;
    }
  }
  sms.text = Blanked(sms.text);
  return sms;
}

std::string StripSmscField(const std::string& pdu) {
  if (pdu.size() < 2) return {};
  int hi = HexDigit(pdu[0]), lo = HexDigit(pdu[1]);
  if (hi < 0 || lo < 0) return {};
  std::size_t from = 2 * static_cast<std::size_t>(hi * 16 + lo) + 2;
  return from < pdu.size() ? pdu.substr(from) : std::string();
}

std::vector<ListedSms> ParseCmglListing(const std::string& reply, std::size_t limit) {
  static const std::string kTag = "+CMGL:";
  std::vector<ListedSms> out;
  std::size_t pos = 0;
  while (out.size() < limit) {
    std::size_t tag = reply.find(kTag, pos);
    if (tag == std::string::npos) break;
    std::size_t lineEnd = reply.find_first_of("\r\n", tag);
    if (lineEnd == std::string::npos) break;
    std::size_t pduStart = reply.find_first_not_of("\r\n", lineEnd);
    if (pduStart == std::string::npos) break;
    std::size_t pduEnd = reply.find_first_of("\r\n", pduStart);
    if (pduEnd == std::string::npos) break;  // the PDU line is cut off
    std::size_t comma = reply.find(',', tag);
    std::string index = comma != std::string::npos && comma < lineEnd
                            ? Trim(reply.substr(tag + kTag.size(), comma - tag - kTag.size()))
                            : std::string();
    std::string pdu = Trim(reply.substr(pduStart, pduEnd - pduStart));
    if (pdu.compare(0, kTag.size(), kTag) == 0) {
      pos = pduStart;  // no PDU line: the next entry follows at once
      continue;
    }
    if (AllDigits(index) && index.size() <= 5) out.push_back({index, pdu});
    pos = pduEnd;
  }
  return out;
}

}  // namespace varnel
