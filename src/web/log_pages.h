// The HTML pages of the event, alarm and acknowledgement logs, written into "Web" of the
// program directory: the overview "default.htm" and "event.htm", "alarm.htm", "action.htm".
#pragma once
#include <cstdint>
#include <string>

#include "service/varnel.h"
#include "web/page_markup.h"

namespace varnel {

inline constexpr const char* kWebDir = "Web";
// The pages in the order they are uploaded.
inline constexpr const char* kWebPages[] = {"default.htm", "event.htm", "alarm.htm", "action.htm"};

// The row of LogFiles_WebLayout.
struct WebLayout {
  std::int16_t EventEntriesFirst = 0, AlarmEntriesFirst = 0, ActionEntriesFirst = 0;
  std::int16_t EventEntriesLog = 0, AlarmEntriesLog = 0, ActionEntriesLog = 0;
  std::string FontName;
  std::int16_t FontSize = 0;
  std::int16_t TimeWidth = 0, IdWidth = 0, SourceWidth = 0, ReceiverWidth = 0, MessageWidth = 0,
               StatusWidth = 0;
  std::string TimeFormat;
  std::int16_t IdMaxChar = 0, SourceMaxChar = 0, ReceiverMaxChar = 0, MessageMaxChar = 0,
               StatusMaxChar = 0;
};

// The overview page while its three sections are added; it is written only when every
// section succeeded, so a failed section leaves the previous page in place.
struct OverviewPage {
  PageLines lines;
  bool whole = true;
};

// Renders all pages from the layout row: the overview (entry counts ...First), then each
// log's own page (entry counts ...Log). Creates "Web" when it is missing.
void WebLogs(Varnel& ctx);

// One log's section of the overview (overview given) or its own page (overview null), with
// at most entries rows, newest first. Each page file is written under a temporary name and
// renamed. False when the procedure failed (reported under its own name).
bool WebEventLog(Varnel& ctx, OverviewPage* overview, int entries, const WebLayout& layout);
bool WebAlarmLog(Varnel& ctx, OverviewPage* overview, int entries, const WebLayout& layout);
bool WebActionLog(Varnel& ctx, OverviewPage* overview, int entries, const WebLayout& layout);

}  // namespace varnel
