#include "service/ini.h"

#include <strings.h>

#include <cstdlib>

#include "platform/files.h"
#include "platform/text.h"
#include "service/errors.h"

namespace varnel {

std::optional<bool> ParseIniBool(const std::string& value) {
  if (strcasecmp(value.c_str(), "true") == 0) return true;
  if (strcasecmp(value.c_str(), "false") == 0) return false;
  if (value.empty()) return std::nullopt;
  char* end = nullptr;
  double d = std::strtod(value.c_str(), &end);
  if (end != value.c_str() + value.size()) return std::nullopt;
  return d != 0.0;
}

void Varnel_ini(Varnel& ctx) {
  ctx.ReadSmsCmd = false;
  ctx.SmtpMultiHomed = false;
  ctx.IsPrimary = true;
  Guarded(ctx, "Varnel_ini", [&] {
    std::string path = ctx.Path("Varnel.ini");
    if (!FileExists(path)) return;
    for (const std::string& line : ReadLines(path)) {
      if (CharLength(line) < 4 || line[0] == ';' || line[0] == '[') continue;
      auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      std::string key = ToUpper(Trim(line.substr(0, eq)));
      std::string value = Trim(line.substr(eq + 1));
      bool* target = key == "READSMSCMD"             ? &ctx.ReadSmsCmd
                     : key == "SMTPSERVERMULTIHOMED" ? &ctx.SmtpMultiHomed
                     : key == "PRIMARYSYSTEM"        ? &ctx.IsPrimary
                                                     : nullptr;
      if (!target) continue;
      auto b = ParseIniBool(value);
      if (!b) throw VarnelError(err::kTypeMismatch, "Type mismatch");
      *target = *b;
    }
  });
}

}  // namespace varnel
