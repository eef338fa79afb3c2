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
                         const std::string& priority) {
  return "\r\n" + Padded(node, 29) + Padded(" 2026-06-26 10:15:03     4711", 32) +
         Padded(text, 79) + "  " + Padded(priority, 25) + Padded("  NOTIFIED", 31) + "\r\n";
}

std::string TecomaLine(const std::string& text) {
  return Padded("26-06-26 10:15:03 L01 " + text, 88) + "\r\n";
}

// Three messages from each panel.
const std::pair<const char*, std::string> kSamples[] = {
    {kPanelCerberus, CerberusRecord("HUSB-2 BRANDLARM") + CerberusRecord("PUMP1 FEL LINJE 3") +
                         CerberusRecord("LAGER-OST SABOTAGE")},
    {kPanelNms10, Nms10Message("HEL-SW-01", "HEL-SW-01 LINK DOWN", "Major") +
                      Nms10Message("NMF001", "ESP-BSC-2, CLOCK LOST", "Critical") +
                      Nms10Message("TRE-MUX-7", "FAN UNIT", "Warning")},
    {kPanelTecoma,
     TecomaLine("INBROTT DORR") + TecomaLine("STROMAVBROTT") + TecomaLine("BRAND SEKTION 4")},
};

// The events of one read after another, then of further reads without output until they add
// nothing; fails the test when a buffer outgrows its size.
struct Fed {
  Events events;
  std::size_t dropped = 0;
};
Fed Feed(const std::string& type, const std::vector<std::string_view>& reads) {
  Fed f;
  std::string buffer;
  auto read = [&](std::string_view input) {
    PanelRead r = ReadPanelOutput(type, buffer, input, "2026-06-26 10:15:03");
    for (const PanelEvent& e : r.events)
      f.events.push_back(e.priority + "|" + e.node + "|" + e.message);
    f.dropped += r.dropped;
    EXPECT_LE(buffer.size(), PanelBufferSize(type)) << type;
    return !r.events.empty();
  };
  for (std::string_view input : reads) read(input);
  while (read("")) {
  }
  return f;
}

TEST(PanelParsers, OutputSplitAcrossReadsAtEveryPositionGivesTheSameEvents) {
  for (const auto& [type, output] : kSamples) {
    std::string_view out = output;
    Events whole = Feed(type, {out}).events;
    ASSERT_EQ(whole.size(), 3u) << type;
    std::vector<std::string_view> bytewise;
    for (std::size_t at = 0; at < out.size(); ++at) bytewise.push_back(out.substr(at, 1));
    EXPECT_EQ(Feed(type, bytewise).events, whole) << type;
    for (std::size_t at = 1; at < out.size(); ++at)
      ASSERT_EQ(Feed(type, {out.substr(0, at), out.substr(at)}).events, whole)
          << type << " split at " << at;
  }
}

// One message of each panel and its event.
struct Message {
  const char* type;
  std::string text;
  std::string event;
};
const Message kMessages[] = {
    {kPanelTecoma, TecomaLine("LARM"), "5 - Normal|Tecoma|LARM"},
    {kPanelNms10, Nms10Message("RTR-1", "LOSS", "Minor"), "3 - Minor|RTR-1|LOSS,Minor"},
    {kPanelCerberus, CerberusRecord("HUSB-2 BRAND"), "1 - Critical|HUSB-2|BRAND"}};

// Noise on the line never grows a buffer past its size and never keeps the panel from
// being read once its output is clean again.
TEST(PanelParsers, PanelIsReadAgainAfterLineNoise) {
  std::string noLineEnds(12000, '\x7f');
  for (std::size_t i = 0; i < noLineEnds.size(); i += 7) noLineEnds[i] = '\xff';
  std::string shortLines;
  for (int i = 0; i < 400; ++i) shortLines += "\x1b[0m\r\n";
  // Noise in front of a message makes the whole buffer garbage; the next message is read.
  const std::pair<std::string, const Message&> cases[] = {
      {noLineEnds, kMessages[0]}, {noLineEnds, kMessages[1]}, {shortLines, kMessages[1]},
      {std::string(259 * 3, '\0'), kMessages[2]}};
  for (const auto& [noise, m] : cases) {
    std::vector<std::string_view> reads;
    for (std::size_t at = 0; at < noise.size(); at += 1500)
      reads.push_back(std::string_view(noise).substr(at, 1500));
    std::size_t noiseEvents = Feed(m.type, reads).events.size();
    const std::string clean = m.type == kPanelTecoma ? "\n" + m.text : m.text;
    reads.push_back(clean);
    Events all = Feed(m.type, reads).events;
    EXPECT_EQ(Events(all.begin() + static_cast<long>(noiseEvents), all.end()), Events{m.event})
        << m.type;
    for (const std::string& e : all)
      for (char ch : e) EXPECT_GE(static_cast<unsigned char>(ch), 0x20) << m.type << ": " << e;
  }
}

// A panel that prints faster than a cycle takes its messages loses the excess and says how
// much; the whole messages the buffer kept still come out, and the cut one does not.
TEST(PanelParsers, FloodIsBoundedAndCounted) {
  for (const Message& m : kMessages) {
    std::string flood;
    for (int i = 0; i < 100; ++i) flood += m.text;
    Fed f = Feed(m.type, {flood});
    EXPECT_EQ(f.dropped, flood.size() - PanelBufferSize(m.type)) << m.type;
    EXPECT_EQ(f.events, Events(PanelBufferSize(m.type) / m.text.size(), m.event)) << m.type;
  }
}

}  // namespace
}  // namespace varnel
