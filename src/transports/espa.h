// ESPA 4.4.4: the poll, the paging block with its BCC and the end of a call to a paging
// system on a serial line.
#pragma once
#include <string>

#include "service/varnel.h"

namespace varnel {

// SOH "1" STX "1" US number RS "2" US text ETX and the exclusive or of all after SOH.
std::string EspaPagingBlock(const std::string& number, const std::string& text);

// command "InitPoll" (pollAddress, empty meaning "2"), "PagingBlock" (number, text in wire
// bytes) or "Quit"; both port buffers are discarded before every write.
void SendMessage_ESPA_444(Varnel& ctx, const std::string& command, const std::string& pollAddress,
                          const std::string& number, const std::string& text);

}  // namespace varnel
