#include "intake/panel_parsers.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace varnel {
namespace {

using Events = std::vector<std::string>;  // "priority|node|message"

std::string Padded(std::string s, std::size_t n) {
  s.resize(n, ' ');
  return s;
}

std::string CerberusRecord(const std::string& nodeAndText) {
  return Padded(Padded(" 26.06.26 10:15:03  ALARM  ZONE 014", 189) + Padded(nodeAndText, 41), 257) +
         "\r\n";
}

std::string Nms10Message(const std::string& node, const std::string& text,
                         const std::string& priority, const std::string& state = "") {
  return "\r\n" + Padded(node, 29) + Padded(" 2026-06-26 10:15:03     4711", 32) +
         Padded(text, 79) + "  " + Padded(priority, 15) + Padded(state, 10) +
         Padded("  NOTIFIED", 31) + "\r\n";
}

std::string TecomaLine(const std::string& text) {
  return Padded("26-06-26 10:15:03 L01 " + text, 88) + "\r\n";
}

struct Panel {
  const char* type;
  std::string output;
};

const std::vector<Panel>& Samples() {
  static const std::vector<Panel> kSamples = {
      {kPanelCerberus, CerberusRecord("HUSB-2 BRANDLARM") + CerberusRecord("PUMP1 FEL LINJE 3") +
                           CerberusRecord("LAGER-OST SABOTAGE")},
      {kPanelNms10, Nms10Message("HEL-SW-01", "HEL-SW-01 LINK DOWN", "Major") +
                        Nms10Message("NMF001", "ESP-BSC-2, CLOCK LOST", "Critical") +
                        Nms10Message("TRE-MUX-7", "FAN UNIT", "Warning")},
      {kPanelTecoma,
       TecomaLine("INBROTT DORR") + TecomaLine("STROMAVBROTT") + TecomaLine("BRAND SEKTION 4")},
  };
  return kSamples;
}

class PanelFeed {
 public:
  explicit PanelFeed(std::string type) : type_(std::move(type)) {}

  // One read of the port; fails the test when the buffer outgrows its size.
  void Read(std::string_view input) {
    PanelRead r = ReadPanelOutput(type_, buffer_, input, "2026-06-26 10:15:03");
    for (const PanelEvent& e : r.events)
      events.push_back(e.priority + "|" + e.node + "|" + e.message);
    dropped += r.dropped;
    EXPECT_LE(buffer_.size(), PanelBufferSize(type_)) << type_;
  }
  // Further cycles without new output, until they add nothing.
  void Drain() {
    for (std::size_t before = events.size() + 1; before != events.size();) {
      before = events.size();
      Read("");
    }
  }

  Events events;
  std::size_t dropped = 0;

 private:
  std::string type_;
  std::string buffer_;
};

Events AllAtOnce(const Panel& p) {
  PanelFeed f(p.type);
  f.Read(p.output);
  f.Drain();
  return f.events;
}

TEST(PanelParsers, OutputSplitAcrossTwoReadsAtEveryPositionGivesTheSameEvents) {
  for (const Panel& p : Samples()) {
    Events whole = AllAtOnce(p);
    ASSERT_EQ(whole.size(), 3u) << p.type;
    for (std::size_t at = 1; at < p.output.size(); ++at) {
      PanelFeed f(p.type);
      f.Read(std::string_view(p.output).substr(0, at));
      f.Read(std::string_view(p.output).substr(at));
      f.Drain();
      ASSERT_EQ(f.events, whole) << p.type << " split at " << at;
    }
  }
}

TEST(PanelParsers, OutputReadOneCharacterAtATimeGivesTheSameEvents) {
  for (const Panel& p : Samples()) {
    PanelFeed f(p.type);
    for (char c : p.output) f.Read(std::string(1, c));
    f.Drain();
    EXPECT_EQ(f.events, AllAtOnce(p)) << p.type;
  }
}

// Noise on the line never grows a buffer past its size and never keeps the panel from
// being read once its output is clean again.
TEST(PanelParsers, PanelIsReadAgainAfterLineNoise) {
  std::string noLineEnds(12000, '\x7f');
  for (std::size_t i = 0; i < noLineEnds.size(); i += 7) noLineEnds[i] = '\xff';
  std::string shortLines;
  for (int i = 0; i < 400; ++i) shortLines += "\x1b[0m\r\n";
  struct Case {
    const char* type;
    std::string noise;
    std::string clean;
    Events expected;
  };
  const Case cases[] = {
      {kPanelTecoma, noLineEnds, "\n" + TecomaLine("BRAND"), {"5 - Normal|Tecoma|BRAND"}},
      // Noise before a message makes it garbage: the buffer is flushed with it.
      {kPanelNms10,
       noLineEnds,
       Nms10Message("RTR-1", "LOSS", "Minor"),
       {"3 - Minor|RTR-1|LOSS,Minor"}},
      {kPanelNms10,
       shortLines,
       Nms10Message("RTR-1", "LOSS", "Minor"),
       {"3 - Minor|RTR-1|LOSS,Minor"}},
      {kPanelCerberus,
       std::string(259 * 3, '\0'),
       CerberusRecord("HUSB-2 BRAND"),
       {"1 - Critical|HUSB-2|BRAND"}},
  };
  for (const Case& c : cases) {
    PanelFeed f(c.type);
    for (std::size_t at = 0; at < c.noise.size(); at += 1500) f.Read(c.noise.substr(at, 1500));
    f.Drain();
    std::size_t noiseEvents = f.events.size();
    f.Read(c.clean);
    f.Drain();
    Events after(f.events.begin() + static_cast<long>(noiseEvents), f.events.end());
    EXPECT_EQ(after, c.expected) << c.type;
    for (const std::string& e : f.events)
      for (char ch : e) EXPECT_GE(static_cast<unsigned char>(ch), 0x20) << c.type << ": " << e;
  }
}

// A panel that prints faster than a cycle takes its messages loses the excess and says how
// much; what the buffer kept still comes out, whole.
TEST(PanelParsers, FloodIsBoundedAndCounted) {
  struct Case {
    const char* type;
    std::string message;
  };
  const Case cases[] = {{kPanelTecoma, TecomaLine("LARM")},
                        {kPanelNms10, Nms10Message("RTR-1", "LOSS", "Minor")},
                        {kPanelCerberus, CerberusRecord("HUSB-2 BRAND")}};
  for (const Case& c : cases) {
    std::string flood;
    for (int i = 0; i < 100; ++i) flood += c.message;
    PanelFeed f(c.type);
    f.Read(flood);
    f.Drain();
    std::size_t kept = PanelBufferSize(c.type) / c.message.size();
    EXPECT_EQ(f.dropped, flood.size() - PanelBufferSize(c.type)) << c.type;
    // The last kept message may be cut by the full buffer; it must not come out as a
    // different event.
    EXPECT_GE(f.events.size(), kept - 1) << c.type;
    EXPECT_LE(f.events.size(), kept + 1) << c.type;
  }
}

TEST(PanelParsers, Nms10FieldsThatDoNotFitTheUsualShape) {
  struct Case {
    std::string output;
    Events expected;
  };
  const Case cases[] = {
      // A priority word outside the table is a warning.
      {Nms10Message("RTR-1", "LOSS", "Indeterminate"), {"4 - Warning|RTR-1|LOSS,Indeterminate"}},
      // The manager's own alarm without a node before a comma keeps its names.
      {Nms10Message("NMF001", "DATABASE FULL", "Major"), {"2 - Major|NMF001|DATABASE FULL,Major"}},
  };
  for (const Case& c : cases) {
    PanelFeed f(kPanelNms10);
    f.Read(c.output);
    EXPECT_EQ(f.events, c.expected);
  }
}

}  // namespace
}  // namespace varnel
