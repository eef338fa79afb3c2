// Trap definitions: the rows of Event_SNMP_MibTrap loaded into memory at start.
#pragma once
#include <string>

#include "service/varnel.h"

namespace varnel {

// Loads at most 200 definitions in table order; with "Debug All" rewrites the dump
// "Debug/Db_SNMP_Traps.txt".
void ReadDb_Trap(Varnel& ctx);

// Parses one of Var1..Var20 ("OID name type", split at the first two spaces) into entry.
// Empty or a single space clears the entry; a text without a space leaves it unchanged; a
// text with one space sets only the OID.
void ParseTrapDefinitionVar(const std::string& text, TrapDefinitionVar& entry);

}  // namespace varnel
