#include "admin/command.h"

#include <sqlite3.h>

#include <algorithm>
#include <iostream>

#include "platform/error.h"

namespace varnel::admin {

int RunCommand(std::string_view name, const std::function<int()>& body) {
  const std::string prefix = "varnel-admin " + std::string(name) + ": ";
  try {
    return body();
  } catch (const BadInput& e) {
    std::cerr << prefix << e.what() << "\n";
    return kExitBadInput;
  } catch (const VarnelError& e) {
    const int code = e.Number() - err::kDatabaseBase;
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) {
      std::cerr << prefix
                << "the database is locked by another program (waited 5 s); "
                   "nothing was written\n";
      return kExitBadInput;
    }
    std::cerr << prefix << "[" << e.Number() << "] " << e.what() << "\n";
    return kExitFailed;
  } catch (const std::exception& e) {
    std::cerr << prefix << e.what() << "\n";
    return kExitFailed;
  }
}

bool Options::Has(const std::string& name) const {
  return std::any_of(named.begin(), named.end(), [&](const auto& p) { return p.first == name; });
}

std::string Options::Value(const std::string& name) const {
  for (const auto& [n, v] : named)
    if (n == name) return v;
  return "";
}

Options ParseOptions(std::span<const std::string> args, std::initializer_list<const char*> valued,
                     std::initializer_list<const char*> flags) {
  auto in = [](std::initializer_list<const char*> list, const std::string& s) {
    return std::any_of(list.begin(), list.end(), [&](const char* o) { return s == o; });
  };
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() < 3 || a.compare(0, 2, "--") != 0) {
      o.positional.push_back(a);
    } else if (in(valued, a)) {
      if (i + 1 == args.size()) throw BadInput(a + " needs a value");
      o.named.emplace_back(a, args[++i]);
    } else if (in(flags, a)) {
      o.named.emplace_back(a, "");
    } else {
      throw BadInput("unknown option " + a);
    }
  }
  return o;
}

}  // namespace varnel::admin
