// Printer output of the three known alarm panels cut into events. One panel character is one
// byte of the line; positions below are those of the panel's layouts.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

inline constexpr const char* kPanelCerberus = "Cerberus CS1140";
inline constexpr const char* kPanelNms10 = "Nokia NMS/10";
inline constexpr const char* kPanelTecoma = "Tecoma";
inline constexpr const char* kPanelTypes[] = {kPanelCerberus, kPanelNms10, kPanelTecoma};

// What a panel keeps of output that has not yet made a message; the port's input buffer size.
constexpr std::size_t kCerberusBufferSize = 2590;
constexpr std::size_t kNms10BufferSize = 5000;
constexpr std::size_t kTecomaBufferSize = 1000;

constexpr std::size_t kCerberusRecordLength = 259;
constexpr std::size_t kTecomaMinimum = 86;  // fewer buffered characters wait for more
constexpr std::size_t kNms10Minimum = 188;

struct PanelEvent {
  std::string priority;
  std::string node;
  std::string message;
};

struct PanelRead {
  std::vector<PanelEvent> events;
  std::vector<std::string> trace;  // lines for the comm port trace file
  std::size_t dropped = 0;         // input characters that found the buffer full
};

// Adds the input to the panel's buffer (what does not fit is dropped) and cuts the messages
// that are complete; the buffer keeps the rest. now is the time the trace shows. A panel type
// that is none of the three takes nothing.
PanelRead ReadPanelOutput(const std::string& panelType, std::string& buffer, std::string_view input,
                          const std::string& now);

// The receive buffer size of a panel type (0 for an unknown type).
std::size_t PanelBufferSize(const std::string& panelType);

}  // namespace varnel
