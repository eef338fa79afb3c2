// Decoding of received SMS: the +CMGL message listing of a terminal and the SMS-DELIVER
// PDUs in it. Pure functions; malformed input raises VarnelError.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace varnel {

struct ReceivedSms {
  std::string number;  // sender, without type prefix
  std::string text;    // UTF-8; control characters (TAB, CR, LF ...) are blanks
};

// Decodes one SMS-DELIVER TPDU given as hex without a service centre field. The alphabet
// follows the DCS (GSM 7-bit, 8-bit, UCS-2); a user data header is skipped. Raises error 13
// for odd length, bad hex, or lengths beyond the data.
ReceivedSms DecodeSmsDeliver(const std::string& pdu);

// A PDU as listed with its service centre field in front, without that field; empty when
// the field's length does not fit.
std::string StripSmscField(const std::string& pdu);

struct ListedSms {
  std::string index;  // storage index, digits only
  std::string pdu;
};

// The messages of an AT+CMGL reply, at most limit of them, in listing order. An entry
// whose index is not a number is skipped; an entry whose PDU line is not complete ends the
// listing, so a cut-off reply never yields a message that was not fully read.
std::vector<ListedSms> ParseCmglListing(const std::string& reply, std::size_t limit);

}  // namespace varnel
