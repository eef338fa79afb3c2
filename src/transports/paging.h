// Text to "PhoneDA" and "PagerAlfa" receivers through a dial-up message centre (TAP or UCP
// after a modem dial) or an ESPA 4.4.4 paging system on a serial line.
#pragma once
#include <cstdint>
#include <string>

#include "service/varnel.h"

namespace varnel {

// Protocol words of Settings_Oper_Phone_Dialup and Settings_Oper_Pager_Alfa.
inline constexpr const char* kProtocolTap = "TAP";
inline constexpr const char* kProtocolUcp01 = "UCP-01";
inline constexpr const char* kProtocolUcp01Pad = "UCP-01 via PAD";
inline constexpr const char* kProtocolUcp30 = "UCP-30";
inline constexpr const char* kProtocolEspa = "ESPA 4.4.4";
inline constexpr const char* kPagingProtocols[] = {kProtocolTap, kProtocolUcp01, kProtocolUcp01Pad,
                                                   kProtocolUcp30, kProtocolEspa};

// CharSet words of the same tables.
inline constexpr const char* kCharSetIa5International = "IA5 International";
inline constexpr const char* kCharSetIa5Swedish = "IA5 Swedish";
inline constexpr const char* kCharSetAnsiToAscii = "ANSI to ASCII";
inline constexpr const char* kCharSetTransparent = "Transparent";
inline constexpr const char* kPagingCharSets[] = {kCharSetIa5International, kCharSetIa5Swedish,
                                                  kCharSetAnsiToAscii, kCharSetTransparent};

// Longest wait after the connection is made; larger settings are taken as this.
inline constexpr int kMaxWaitAfterConnect = 32;

// A row of Settings_Oper_Phone_Dialup or Settings_Oper_Pager_Alfa.
struct OperSettings {
  std::string Protocol;
  std::string TerminalNumber;
  std::string ModemInitString;
  std::string ModemSpeed;
  std::string ModemSettings;
  std::string LogonID;
  std::string LogonPassword;
  std::int16_t MaxChar = 0;
  std::string CharSet;
  std::int16_t WaitAfterConnect = 0;
  bool ConfirmedDelivery = false;  // only operators of "PhoneDA" receivers have it
};

// Sends message to number through the operator's centre and sets status (kSent,
// kUnconfirmed or kSendFailed) and statusText; both keep the caller's values for a
// protocol word the session does not know.
void SendToPhoneDA_PagerAlfa(Varnel& ctx, const std::string& receiverType, const std::string& oper,
                             const std::string& number, const std::string& receiverName,
                             const std::string& message, std::int16_t& status,
                             std::string& statusText);

// The first row whose Name equals oper, from the table of the receiver type.
void GetOperSettings(Varnel& ctx, const std::string& receiverType, const std::string& oper,
                     OperSettings& out, bool& found);

// The text cut to MaxChar, converted for the character set and protocol, and framed: a TAP
// block, a UCP frame, the bare text for ESPA, else text & CR. Wire bytes; traced.
void FormatMessage(Varnel& ctx, const OperSettings& op, const std::string& number,
                   const std::string& message, std::string& block);

}  // namespace varnel
