// UCP (EMI) over a dial-up line: the frames of operations 01 and 30 with their length and
// checksum, the four engines that send a frame and read the centre's reply, and the
// acknowledgement of a delivery notification.
#pragma once
#include <cstdint>
#include <string>

#include "service/varnel.h"

namespace varnel {

// Two upper-case hex digits of the sum of the characters' codes modulo 256.
std::string UcpChecksum(const std::string& text);
// STX "01/" LEN "/O/01/" number / originator / code "/3/" hexText "/" CS ETX.
std::string UcpFrame01(const std::string& number, const std::string& originator,
                       const std::string& code, const std::string& hexText);
// STX "01/" LEN "/O/30/" number / originator / code / NRq "//////" hexText "/" CS ETX.
std::string UcpFrame30(const std::string& number, const std::string& originator,
                       const std::string& code, bool notify, const std::string& hexText);
// The positive answer to a notification whose transaction reference is trn.
std::string UcpNotificationAck(const std::string& trn);

// Cuts the first complete frame (from its STX, or from the start without one, to the first
// ETX) out of buffer; false while no ETX has come.
bool UcpTakeFrame(std::string& buffer, std::string& frame);
// The transaction reference and message hex of a delivery notification (the field after
// "//3/"); false when frame carries none.
bool UcpNotification(const std::string& frame, std::string& trn, std::string& hex);

// A centre's reply read: kSent for a positive one, else kSendFailed with statusText
// operator & ": Error[" code "] ..." by the error table.
std::int16_t UcpReplyStatus(const std::string& reply, const std::string& oper,
                            std::string& statusText);
// What a positive reply of operation 30 says about the delivery (the centre's words).
std::int16_t Ucp30DeliveryStatus(const std::string& reply, const std::string& oper,
                                 std::string& statusText);

void SendMessage_UCP_01(Varnel& ctx, const std::string& frame, const std::string& oper,
                        std::int16_t& status, std::string& statusText);
// Reaches the centre through a packet assembler's prompt first.
void SendMessage_UCP_01_PAD(Varnel& ctx, const std::string& frame, const std::string& oper,
                            std::int16_t& status, std::string& statusText);
void SendMessage_UCP_30_NoConf(Varnel& ctx, const std::string& frame, const std::string& oper,
                               std::int16_t& status, std::string& statusText);
// Also waits for the delivery notification and acknowledges it.
void SendMessage_UCP_30_Conf(Varnel& ctx, const std::string& frame, const std::string& oper,
                             std::int16_t& status, std::string& statusText);

}  // namespace varnel
