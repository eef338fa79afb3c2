// The markup pieces of the HTML log pages: fixed shapes, colour names and escaped cell texts.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// Lines of a page; the writer ends each with CR LF.
using PageLines = std::vector<std::string>;

// `<`, `>`, `&` and `"` as character references, so log texts cannot add markup.
std::string HtmlEscape(std::string_view text);

// How a cell closes: the Time cell and the action page's ID cell carry a blank before the tag.
enum class CellEnd { Plain, Blank };

// The font of every cell.
struct CellFont {
  std::string face;
  int size = 0;
};

// "<html>" to the body line and an empty line, with the page's title.
void PageHead(PageLines& page, const std::string& title);
// "</body>", "</html>".
void PageEnd(PageLines& page);
// The overview's navigation table of one log: a link to its page when it has rows.
void NavigationTable(PageLines& page, const CellFont& font, const std::string& href,
                     const std::string& caption, bool linked);
// "<table ...>", "  <tr>", the header cells and "  </tr>": the start of a data table.
struct HeaderCell {
  std::string caption;
  int width = 0;
};
void DataTableStart(PageLines& page, const CellFont& font, const std::vector<HeaderCell>& cells);
// One data cell; text is escaped here.
void DataCell(PageLines& page, const CellFont& font, int width, const std::string& colour,
              const std::string& text, CellEnd end);
void RowStart(PageLines& page);
void RowEnd(PageLines& page);
void TableEnd(PageLines& page);

}  // namespace varnel
