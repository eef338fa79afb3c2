// The number of the VarnelError that f raises, or 0 when it raises none.
#pragma once
#include <functional>

#include "platform/error.h"

namespace varnel::testing {

inline int ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const VarnelError& e) {
    return e.Number();
  }
  return 0;
}

}  // namespace varnel::testing
