#include "web/page_markup.h"

namespace varnel {
namespace {

constexpr const char* kPageColour = "#cccccc";
constexpr const char* kLinkColour = "#000000";
constexpr const char* kHeaderColour = "#003366";
constexpr const char* kHeaderTextColour = "White";
constexpr const char* kCellColour = "#000000";

// The part of a font tag after the colour: " face=" name " size=" size.
std::string FaceAndSize(const CellFont& font) {
  return " face=" + HtmlEscape(font.face) + " size=" + std::to_string(font.size);
}

void TableStart(PageLines& page) {
  page.emplace_back("<table border=0 cellspacing=1 width=480>");
  page.emplace_back("  <tr>");
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

void PageHead(PageLines& page, const std::string& title) {
  page.emplace_back("<html>");
  page.emplace_back("<head>");
  page.push_back("<title>" + title + "</title>");
  page.emplace_back("</head>");
  page.push_back(std::string("<body bgcolor=") + kPageColour + " link=" + kLinkColour +
                 " vlink=" + kLinkColour + ">");
  page.emplace_back();
}

void PageEnd(PageLines& page) {
  page.emplace_back("</body>");
  page.emplace_back("</html>");
}

void NavigationTable(PageLines& page, const CellFont& font, const std::string& href,
                     const std::string& caption, bool linked) {
  TableStart(page);
  // The font tag is left open before "<b>" exactly as the pages have always been published.
  page.push_back(std::string("    <td bgcolor=") + kPageColour +
                 " width=100 align=left><font color=" + kLinkColour + FaceAndSize(font) +
                 (linked ? "<b><a href=" + href + ">" : std::string("<b>")) + caption +
                 "</b></font></td>");
  page.emplace_back("  </tr>");
  page.emplace_back("</table>");
  page.emplace_back();
}

void DataTableStart(PageLines& page, const CellFont& font, const std::vector<HeaderCell>& cells) {
  TableStart(page);
  for (const HeaderCell& cell : cells)
    page.push_back(std::string("    <td bgcolor=") + kHeaderColour + " width=" +
                   std::to_string(cell.width) + " align=left><font color=" + kHeaderTextColour +
                   FaceAndSize(font) + "><b>" + cell.caption + "</b></font></td>");
  page.emplace_back("  </tr>");
}

void DataCell(PageLines& page, const CellFont& font, int width, const std::string& colour,
              const std::string& text, CellEnd end) {
  page.push_back(std::string("    <td bgcolor=") + kCellColour + " width=" + std::to_string(width) +
                 " align=left><font color=" + colour + FaceAndSize(font) + ">" + HtmlEscape(text) +
                 (end == CellEnd::Blank ? " </font></td>" : "</font></td>"));
}

void RowStart(PageLines& page) { page.emplace_back("  <tr>"); }
void RowEnd(PageLines& page) { page.emplace_back("  </tr>"); }
void TableEnd(PageLines& page) { page.emplace_back("</table>"); }

}  // namespace varnel
