#include "delivery/read_sms.h"

#include <vector>

#include "filter/group_text.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "service/errors.h"
#include "service/listener_status.h"
#include "transports/modem.h"
#include "transports/phone_mo.h"
#include "transports/sms_decode.h"

namespace varnel {
namespace {

constexpr const char* kSmsCmdLog = "SmsCmd.log";
// Seconds the terminal gets to list its stored messages.
constexpr int kListingTimeout = 8;

void ReportSmsError(Varnel& ctx, const std::string& text) {
  ReportErrorText(ctx, text + " (Module: ReadSms)", text);
}

std::string CommandError(const std::string& command) {
  return "MT-SMS: Error when sending " + command + "<CR> to MS.";
}

void EndSession(Varnel& ctx) {
  PortClose(ctx);
  SetDTR(ctx, false);
}

}  // namespace

std::string StartSmsServer(Varnel& ctx, Table& t) {
  ctx.SmsServerActive = true;
  ctx.gsm.SmsStorage = t.Text("PMS") == "Phone" ? "ME" : "SM";
  ctx.gsm.SmsProtocol = t.Text("Protocol");
  ReadSms(ctx, true);  // messages stored while the service was down are not acted on
  Delay(ctx.io, kListenerStartPauseMs);
  return StartedStatus(ctx, kSmsServerStarted, {""});
}

void ReadSms(Varnel& ctx, bool clearOnly) {
  bool inSession = false;
  std::vector<std::string> deleted;  // PDUs of the messages deleted in this call
  bool done = Guarded(ctx, "ReadSms", [&] {
    ModemParameters mp;
    GetModemParameters(ctx, mp);
    std::vector<std::string> header = SessionStartLines(ctx);
    for (auto& l : ModemParameterLines(mp)) header.push_back(l);
    ModemTrace(ctx, header);

    SetStatus(ctx, StatusStepCode::Sending, "Sending " + mp.ModemInitString + " to MS");
    inSession = true;
    if (!OpenModemPort(ctx, mp.ModemSpeed, mp.ModemSettings, mp.CommPort)) {
      ReportSmsError(ctx, PortOpenFailure(mp.CommPort));
      inSession = false;
      EndSession(ctx);
      return;
    }
    SetRTS(ctx, true);

    const int attempts = mp.Retries + 1;
    auto fail = [&](const std::string& command) {
      ReportSmsError(ctx, CommandError(command));
      inSession = false;
      EndSession(ctx);
    };
    const std::string setup[] = {mp.ModemInitString, "AT+CMGF=0", "AT+CSMS=0",
                                 "AT+CPMS=\"" + ctx.gsm.SmsStorage + "\""};
    for (const std::string& command : setup) {
      if (!SendWithRetries(ctx, command, kCommandTimeout, attempts)) return fail(command);
      Delay(ctx.io, ctx.gsm.LongCommDelay);
    }

    ctx.StatusText = "Reading/Clearing SMS from MS";
    std::string listing;
    bool ok = false;
    for (int attempt = 1; attempt <= std::max(attempts, 1) && !ok; ++attempt) {
      SendATtoModem(ctx, "AT+CMGL=4");
      WaitForResponseMGL(ctx, "OK\r", kListingTimeout, ok, listing);
    }
    if (!ok) return fail("AT+CMGL=4");
    Delay(ctx.io, ctx.gsm.LongCommDelay);

    // Only messages that are stored here are deleted there; more than a call takes stay
    // on the terminal for the next call.
    for (const ListedSms& sms : ParseCmglListing(listing, kSmsPerRead)) {
      const std::string command = "AT+CMGD=" + sms.index;
      if (!SendWithRetries(ctx, command, kCommandTimeout, attempts)) return fail(command);
      deleted.push_back(sms.pdu);
      Delay(ctx.io, ctx.gsm.LongCommDelay);
    }
    inSession = false;
    EndSession(ctx);
  });
  if (!done && inSession) EndSession(ctx);
  if (clearOnly) return;
  for (const std::string& pdu : deleted) {
    if (ctx.gsm.SmsProtocol == kProtocolEtsiPdu)
      DecodePduIncom(ctx, pdu);
    else if (ctx.gsm.SmsProtocol == kProtocolEtsiPduSca)
      DecodePduIncom(ctx, StripSmscField(pdu));
  }
  // One write for the lines of this read and those an earlier read could not write: the
  // messages are gone from the terminal, so a line that cannot be written waits in memory.
  auto& waiting = ctx.gsm.UnstoredSms;
  if (!waiting.empty())
    Guarded(ctx, "DecodePduIncom", [&] {
      AppendLines(ctx.Path(kSmsCmdLog), {waiting.begin(), waiting.end()});
      waiting.clear();
    });
}

void DecodePduIncom(Varnel& ctx, const std::string& pdu) {
  Guarded(ctx, "DecodePduIncom", [&] {
    ReceivedSms sms = DecodeSmsDeliver(pdu);
    if (ctx.gsm.UnstoredSms.size() >= kMaxUnstoredSms)
      throw VarnelError(err::kOverflow, "SMS from " + sms.number +
                                            " lost: " + std::to_string(kMaxUnstoredSms) +
                                            " messages already wait to be written");
    // A text with line breaks or TABs stays one line of sender and text.
    ctx.gsm.UnstoredSms.push_back(DropFileField(sms.number) + "\t" + DropFileField(sms.text));
    Delay(ctx.io, ctx.gsm.ShortCommDelay);
  });
}

}  // namespace varnel
