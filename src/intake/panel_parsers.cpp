#include "intake/panel_parsers.h"

#include "platform/text.h"
#include "service/event_list.h"

namespace varnel {
namespace {

constexpr int kTecomaPerCall = 10;
constexpr int kNms10PerCall = 20;
constexpr int kCerberusPerCall = 10;
constexpr std::size_t kTecomaTextStart = 22;     // character 23
constexpr std::size_t kNms10EndSearch = 184;     // the end is the first CR LF from character 185
constexpr std::size_t kCerberusNodeStart = 189;  // character 190
constexpr std::size_t kCerberusNodeMax = 15;
constexpr std::size_t kCerberusNodeAndText = 41;

// Control characters (line noise, TABs, line ends) become blanks, so no event text carries them.
std::string Blanked(std::string_view bytes) {
  std::string s(bytes);
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return s;
}

// A field of a line: the characters from the 0-based start, trimmed, as text.
std::string Field(std::string_view line, std::size_t start, std::size_t length) {
  if (start >= line.size()) return "";
  return FromWire(Trim(Blanked(line.substr(start, length))));
}

void TraceRead(PanelRead& r, const std::string& now, std::string_view buffer) {
  const std::string dashes(38, '-');
  r.trace.insert(r.trace.end(),
                 {dashes, "Time: " + now, "Buffert: " + std::to_string(buffer.size()) + " chr",
                  FromWire(buffer), dashes, "", ""});
}

// Appends what fits of the input and traces the read.
void Take(PanelRead& r, std::string& buffer, std::string_view input, std::size_t size,
          const std::string& now) {
  if (input.empty()) return;
  std::size_t room = buffer.size() < size ? size - buffer.size() : 0;
  std::size_t take = std::min(room, input.size());
  buffer.append(input.substr(0, take));
  r.dropped = input.size() - take;
  TraceRead(r, now, buffer);
}

// A buffer that is full and still holds no complete message can never make one: it is noise.
void FlushWhenStuck(PanelRead& r, std::string& buffer, std::size_t size, int taken) {
  if (taken > 0 || buffer.size() < size) return;
  r.trace.insert(r.trace.end(),
                 {"Buffer full without a message; flushing the buffer:", FromWire(buffer), ""});
  buffer.clear();
}

// ---- Tecoma: lines ending in LF, the text from character 23.

std::string TecomaText(std::string_view message) {
  if (message.size() <= kTecomaTextStart) return "";
  std::string text = FromCp437Letters(Blanked(message.substr(kTecomaTextStart)));
  std::size_t at;
  while ((at = text.find("  ")) != std::string::npos) text.erase(at, 1);
  return Trim(text);
}

void ReadTecoma(PanelRead& r, std::string& buffer, std::string_view input, const std::string& now) {
  Take(r, buffer, input, kTecomaBufferSize, now);
  if (buffer.size() < kTecomaMinimum) return;
  int n = 0;
  for (; n < kTecomaPerCall; ++n) {
    std::size_t lf = buffer.find('\n');
    if (lf == std::string::npos) break;
    std::string message = buffer.substr(0, lf + 1);
    buffer.erase(0, lf + 1);
    std::string text = TecomaText(message);
    r.trace.insert(r.trace.end(), {"Message Nr: " + std::to_string(n + 1),
                                   "Orginal: " + FromWire(message), "Converted: " + text, ""});
    // A blank line between reports carries no alarm.
    if (!text.empty()) r.events.push_back({kNormal, "Tecoma", text});
  }
  FlushWhenStuck(r, buffer, kTecomaBufferSize, n);
}

// ---- Nokia NMS/10: CR LF, fixed fields, CR LF.

struct Nms10Message {
  std::string NodeName, LarmText, Priority, RaisClea;
};

std::string Nms10Priority(const std::string& word) {
  struct Entry {
    const char* word;
    const char* priority;
  };
  static const Entry kPriorities[] = {{"Critical", kCritical},
                                      {"Major", kMajor},
                                      {"Minor", kMinor},
                                      {"Warning", kWarning},
                                      {"Informational", kNormal}};
  for (const Entry& e : kPriorities)
    if (word == e.word) return e.priority;
  return kWarning;  // a word the table does not know
}

// Cuts the complete messages; a message that does not start as one flushes the buffer.
std::vector<Nms10Message> CutNms10(PanelRead& r, std::string& buffer) {
  std::vector<Nms10Message> out;
  for (int n = 0; n < kNms10PerCall; ++n) {
    std::size_t cr = buffer.find("\r\n", kNms10EndSearch);
    if (cr == std::string::npos) break;
    if (buffer.compare(0, 2, "\r\n") != 0) {
      r.trace.insert(r.trace.end(),
                     {"Garbage in Message; flushing the buffer:", FromWire(buffer), ""});
      buffer.clear();
      break;
    }
    // Through the LF and one character more, which also starts the rest: the next message's CR.
    std::string message = buffer.substr(0, cr + 3);
    buffer.erase(0, cr + 2);
    Nms10Message m{Field(message, 2, 29), Field(message, 63, 79), Field(message, 144, 15),
                   Field(message, 159, 10)};
    r.trace.insert(r.trace.end(),
                   {"Message Nr: " + std::to_string(n + 1),
                    "OK Message, " + std::to_string(message.size()) + " chr:", FromWire(message),
                    "NodeName=" + m.NodeName, "LarmText=" + m.LarmText, "Priority=" + m.Priority,
                    "RaisClea=" + m.RaisClea, ""});
    out.push_back(std::move(m));
  }
  return out;
}

// An alarm raised and cleared within one read was never worth a message: both are dropped.
void MarkFalseAlarms(std::vector<Nms10Message>& messages) {
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (messages[i].RaisClea != "Cleared") continue;
    bool raised = false;
    for (std::size_t j = 0; j < i; ++j) {
      Nms10Message& earlier = messages[j];
      if (earlier.RaisClea.empty() && earlier.LarmText == messages[i].LarmText &&
          earlier.NodeName == messages[i].NodeName) {
        earlier.NodeName = "FalseAlarm";
        raised = true;
      }
    }
    if (raised) messages[i].NodeName = "FalseAlarm";
  }
}

void Nms10Event(PanelRead& r, Nms10Message m) {
  if (m.NodeName.rfind("NMF001", 0) == 0) {
    // The element manager's own alarms name the node before the first comma of the text.
    std::size_t comma = m.LarmText.find(',');
    if (comma != std::string::npos) {
      m.NodeName = Trim(m.LarmText.substr(0, comma));
      m.LarmText = Trim(m.LarmText.substr(comma + 1));
    }
  }
  if (m.NodeName.empty() || m.NodeName == "FalseAlarm") return;
  std::size_t q = m.LarmText.find(m.NodeName);
  if (q != std::string::npos) m.LarmText.erase(q, m.NodeName.size() + 1);
  if (m.RaisClea == "Cleared") m.Priority = "Informational";
  std::string word = m.Priority == "Informational" ? m.RaisClea : m.Priority;
  r.events.push_back({Nms10Priority(m.Priority), m.NodeName, m.LarmText + "," + word});
}

void ReadNms10(PanelRead& r, std::string& buffer, std::string_view input, const std::string& now) {
  Take(r, buffer, input, kNms10BufferSize, now);
  if (buffer.size() < kNms10Minimum) return;
  std::vector<Nms10Message> messages = CutNms10(r, buffer);
  FlushWhenStuck(r, buffer, kNms10BufferSize, static_cast<int>(messages.size()));
  MarkFalseAlarms(messages);
  for (Nms10Message& m : messages) Nms10Event(r, std::move(m));
}

// ---- Cerberus CS1140: records of exactly 259 characters.

void ReadCerberus(PanelRead& r, std::string& buffer, std::string_view input,
                  const std::string& now) {
  Take(r, buffer, input, kCerberusBufferSize, now);
  for (int n = 0; n < kCerberusPerCall && buffer.size() >= kCerberusRecordLength; ++n) {
    std::string record = buffer.substr(0, kCerberusRecordLength);
    buffer.erase(0, kCerberusRecordLength);
    // The node name runs to the first space after character 190, at most 15 characters.
    std::size_t space = record.find(' ', kCerberusNodeStart);
    std::size_t length = kCerberusNodeMax;
    if (space != std::string::npos && space > kCerberusNodeStart &&
        space <= kCerberusNodeStart + kCerberusNodeMax)
      length = space - kCerberusNodeStart;
    std::string node = Field(record, kCerberusNodeStart, length);
    std::string text = Field(record, kCerberusNodeStart + length, kCerberusNodeAndText - length);
    r.trace.insert(r.trace.end(),
                   {"Message Nr: " + std::to_string(n + 1),
                    "Full Message, 259 chr (starts on next line):", FromWire(record), ""});
    if (!node.empty() || !text.empty()) r.events.push_back({kCritical, node, text});
  }
}

}  // namespace

std::size_t PanelBufferSize(const std::string& panelType) {
  if (panelType == kPanelCerberus) return kCerberusBufferSize;
  if (panelType == kPanelNms10) return kNms10BufferSize;
  if (panelType == kPanelTecoma) return kTecomaBufferSize;
  return 0;
}

PanelRead ReadPanelOutput(const std::string& panelType, std::string& buffer, std::string_view input,
                          const std::string& now) {
  PanelRead r;
  if (panelType == kPanelTecoma)
    ReadTecoma(r, buffer, input, now);
  else if (panelType == kPanelNms10)
    ReadNms10(r, buffer, input, now);
  else if (panelType == kPanelCerberus)
    ReadCerberus(r, buffer, input, now);
  return r;
}

}  // namespace varnel
