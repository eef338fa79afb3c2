// Varnel.ini: three boolean switches, one "key=value" per line.
#pragma once
#include <optional>
#include <string>

#include "service/varnel.h"

namespace varnel {

// true/false in any case, or a number (0 false, anything else true); nullopt otherwise.
std::optional<bool> ParseIniBool(const std::string& value);

// Resets the switches to their defaults and reads "Varnel.ini" when it exists. A value that
// is not a boolean ends the reading with an error entry; the switches read so far stay.
void Varnel_ini(Varnel& ctx);

}  // namespace varnel
