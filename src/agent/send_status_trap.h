// The traps that report the result of one delivery attempt and each acknowledgement to a
// network manager.
#pragma once
#include <cstdint>
#include <string>

#include "service/varnel.h"

namespace varnel {

// Sends one status trap when Event_CheckInterval's ForwardSendStatusAsTrap is on: an SNMPv1
// enterprise trap (1.3.6.1.4.1.99412.1.10.2, specific 1) or an SNMPv2 trap
// (1.3.6.1.4.1.99412.1.10.2.0.1) with receiver name, message, receiver type code, result code
// and result text of the delivery record.
void ForwardSendStatus(Varnel& ctx, const std::string& recvName, const std::string& recvType,
                       const std::string& recvMess, std::int16_t recvSendStatusInt,
                       const std::string& recvSendStatus);

// Sends the acknowledgement trap under the same settings: specific 3 (SNMPv2 trap
// 1.3.6.1.4.1.99412.1.10.2.0.3) with identifier, receiver, status and information.
void ForwardReqAckStatus(Varnel& ctx, int alarmId, const std::string& receiver, int ackStatus,
                         const std::string& ackInfo);

// 1 PhoneDA/PhoneMO, 2 PagerAlfa/PagerNum, 3 MailSMTP, 4 PopupNetSend; 0 for any other type.
int ReceiverTypeCode(const std::string& recvType);

}  // namespace varnel
