// Trap-to-event: the queued traps matched against the trap definitions and turned into
// event list entries, and the helpers that map addresses to names and decode DateAndTime.
#pragma once
#include <string>

#include "service/varnel.h"

namespace varnel {

// Drains the trap queue into the event list (source "SNMP Trap"); called once per cycle.
void WriteSnmpTrapEventsToEventList(Varnel& ctx);

// The name that "mibfiles/defaultFilter/ip2name.txt" gives address (the first line whose
// address field is exactly address); the address itself when there is none.
void MapIp2Name(Varnel& ctx, const std::string& address, std::string& name);

// The host name of address by a reverse lookup bounded to 5 s; the address itself when the
// lookup fails. Listeners are served while it waits.
void ReverseDnsLookup(Varnel& ctx, const std::string& address, std::string& name);

// An SNMP DateAndTime octet string (one character per octet) to "YYYY-MM-DD HH:MM:SS".
void ConvToDateTime(Varnel& ctx, std::string& value);

// The label of value in an enumeration "label(number),label(number)..."; value itself when
// the enumeration does not list it.
std::string EnumerationLabel(const std::string& value, const std::string& enumeration);

}  // namespace varnel
