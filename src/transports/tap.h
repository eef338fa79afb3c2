// TAP, the paging-entry protocol of dial-up message centres: the block with its checksum and
// the logon, block and logoff exchange on a connected line.
#pragma once
#include <cstdint>
#include <string>

#include "service/varnel.h"

namespace varnel {

// STX number CR text CR ETX and the three checksum characters and CR; with confirmation the
// text is followed by ")#*&(C". The text is in wire bytes already.
std::string TapBlock(const std::string& number, const std::string& text, bool confirmed);

// Logs on with ESC LogonID (empty: "PG1") and password, sends the block and logs off.
// Sets status and statusText, for example "ALPHA: Message accepted".
void SendMessage_TAP(Varnel& ctx, const std::string& block, const std::string& logonId,
                     const std::string& logonPassword, const std::string& oper,
                     std::int16_t& status, std::string& statusText);

// What a centre's answer to a block says: kSent after ACK, kSendFailed after NAK, kNotSent
// while it holds neither; text is the readable reply.
std::int16_t TapBlockReply(const std::string& received, std::string& text);

}  // namespace varnel
