// Numeric pagers: the modem calls the pager service and passes a code as dialled digits or,
// from a mobile phone, as DTMF tones, holds the call and hangs up.
#pragma once
#include <cstdint>
#include <string>

#include "service/varnel.h"

namespace varnel {

// Sets status kSent ("PAGER NUM: 123 sent to pager.") when the call was held for delay
// seconds without BUSY or NO DIALTONE, else kSendFailed with the reason.
void SendToPagerNum(Varnel& ctx, const std::string& number, const std::string& receiverName,
                    bool moCalling, const std::string& code, std::int16_t delay,
                    std::int16_t& status, std::string& statusText);

// Holds the call for delay seconds; ok is false when BUSY or NO DIALTONE came first. Hangs up
// with AT+CHUP for a voice call, else ATH.
void WaitForPagerNumResponse(Varnel& ctx, std::int16_t delay, bool moCalling, bool& ok);

}  // namespace varnel
