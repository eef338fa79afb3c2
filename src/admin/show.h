// show: the rows of one table as aligned text or JSON.
#pragma once
#include <string>
#include <vector>

#include "admin/command.h"

namespace varnel::admin {

int RunShow(const Args& args);

// A JSON string literal of text (UTF-8 passed through, control characters escaped).
std::string JsonString(const std::string& text);

// Rows as a text table: a header line, then one line per row, columns padded to the widest
// cell (counted in characters).
std::string AlignedTable(const std::vector<std::string>& header,
                         const std::vector<std::vector<std::string>>& rows);

}  // namespace varnel::admin
