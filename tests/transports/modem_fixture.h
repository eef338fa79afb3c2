// Fixture for modem sessions: the test program directory with a modem record, and a
// scripted terminal in place of the modem port.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "support/test_support.h"
#include "transports/scripted_terminal.h"

namespace varnel::testing {

class ModemTest : public VarnelTest {
 protected:
  ModemTest() {
    auto t = std::make_unique<ScriptedTerminal>(clock);
    term = t.get();
    ctx.gsm.commPortOut = std::move(t);
    Database db = Db();
    Table m = db.Open("Settings_Modem");
    m.Set("CommPort", 1);
    m.Set("ModemInitString", "ATZ");
    m.Set("ModemSpeed", "9600");
    m.Set("ModemSettings", "n,8,1");
    // No delay word: the communication delays stay 0 and the sessions run fast.
    m.Set("ModemCommDelays", "");
    m.Set("Retries", 1);
    m.Update();
    clock.AdvanceMs(1'000'000);
  }

  std::vector<std::string> ModemTraceLines() {
    std::string path = File("Debug/Modem_Communication.txt");
    return FileExists(path) ? ReadLines(path) : std::vector<std::string>{};
  }

  // Fake milliseconds spent by the block.
  template <class F>
  std::uint64_t FakeMs(F&& f) {
    std::uint64_t start = clock.TickMs();
    f();
    return clock.TickMs() - start;
  }

  ScriptedTerminal* term;
};

}  // namespace varnel::testing
