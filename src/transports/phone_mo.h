// SMS to a "PhoneMO" receiver through the GSM or TETRA terminal on the modem port.
#pragma once
#include <cstdint>
#include <string>

#include "service/varnel.h"

namespace varnel {

// Protocol words of Settings_Oper_Phone_MO; the incoming SMS reader knows the two PDU ones.
inline constexpr const char* kProtocolEtsiPdu = "ETSI 07.05-PDU";
inline constexpr const char* kProtocolEtsiPduSca = "ETSI 07.05-PDU SCA";
inline constexpr const char* kProtocolEtsiText = "ETSI 07.05-TEXT";
inline constexpr const char* kProtocolTetraSds4Text = "TETRA SDS4-TEXT";
inline constexpr const char* kPhoneMoProtocols[] = {kProtocolEtsiPdu, kProtocolEtsiPduSca,
                                                    kProtocolEtsiText, kProtocolTetraSds4Text};
inline constexpr const char* kSmsReaderProtocols[] = {kProtocolEtsiPdu, kProtocolEtsiPduSca};

// CharSet words of Settings_Oper_Phone_MO.
inline constexpr const char* kCharSetGsmDefault = "GSM 3.38 Default";
inline constexpr const char* kCharSetGsmExtended = "GSM 3.38 Extended";
inline constexpr const char* kCharSetGsmUniCode = "GSM 3.38 UniCode";
inline constexpr const char* kCharSetTetra8859 = "TETRA 8859-1";
inline constexpr const char* kCharSetTetraPccp437 = "TETRA PCCP437";
inline constexpr const char* kPhoneMoCharSets[] = {kCharSetGsmDefault, kCharSetGsmExtended,
                                                   kCharSetGsmUniCode, kCharSetTetra8859,
                                                   kCharSetTetraPccp437};

// Sends message to phone through the operator's protocol in one modem session and sets
// status (kSent or kSendFailed) and statusText, for example "ALPHA[SS=17]: Message sent to
// receiver.". Both keep the caller's values when the operator's protocol is none of the
// four known words or when a run-time error ends the session.
void SendToPhoneMO(Varnel& ctx, const std::string& oper, const std::string& phone,
                   const std::string& receiverName, const std::string& message,
                   std::int16_t& status, std::string& statusText);

// A row of Settings_Oper_Phone_MO.
struct OperSettingsMO {
  std::string Protocol;
  std::string TerminalNumber;
  std::string ModemInitString;
  std::string ModemSpeed;
  std::string ModemSettings;
  std::int16_t MaxChar = 0;
  std::string CharSet;
  bool MessagePrefix = false;
  std::string PrefixText;
};

// Finds the first row whose Name equals oper exactly; found stays false otherwise.
void GetOperSettingsMO(Varnel& ctx, const std::string& oper, OperSettingsMO& out, bool& found);

// The text to send: cut, converted for the character set, prefixed, and coded as a PDU for
// the PDU protocols. Traces the original, converted and coded texts.
void FormatMessageMO(Varnel& ctx, const OperSettingsMO& op, const std::string& phone,
                     const std::string& message, std::string& coded);

// The service centre number as the address field in front of a PDU: "+4670000" gives
// "0591640700F0".
std::string SmscField(const std::string& serviceCentre);

}  // namespace varnel
