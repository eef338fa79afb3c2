// The shape every varnel-admin command shares: its arguments after the command name, and the
// exit statuses the tool gives.
#pragma once
#include <stdexcept>
#include <string>
#include <vector>

namespace varnel::admin {

using Args = std::vector<std::string>;

// Exit statuses: 0 done, 1 the command ran and found errors, 2 bad input (nothing written),
// 3 the service does not answer.
constexpr int kExitOk = 0;
constexpr int kExitFindings = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitNoService = 3;  // the running service does not answer

// Raised for input the tool refuses before writing anything; main prints it and exits 2.
class BadInput : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace varnel::admin
