#include "app/export/htmlpage.h"

#include <filesystem>

#include "app/export/csscolor.h"

std::vector<std::string> HtmlPageLines(const std::vector<std::string>& table, TPageStyle style,
                                       const THtmlPage& page) {
  const bool mail = style == TPageStyle::Email;
  const std::string background = CssColor(page.Background);
  std::vector<std::string> lines = {
      "<!DOCTYPE html>",
      "<html lang=\"en\">",
      "<head>",
      "<meta charset=\"utf-8\">",
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"};
  if (mail)
    lines.insert(lines.end(),
                 {"<meta name=\"x-apple-disable-message-reformatting\">", "<meta name=\"color-scheme\" content=\"light\">",
                  "<meta name=\"supported-color-schemes\" content=\"light\">",
                  // Outlook for Windows scales a page by the screen's dpi unless
                  // told 96. The namespace is declared where Outlook alone reads
                  // it: on the html element it would make the page invalid.
                  "<!--[if mso]><noscript><xml xmlns:o=\"urn:schemas-microsoft-com:office:office\">"
                  "<o:OfficeDocumentSettings><o:PixelsPerInch>96</o:PixelsPerInch></o:OfficeDocumentSettings>"
                  "</xml></noscript><![endif]-->"});
  lines.push_back("<title>" + EscapeAttribute(page.Title) + "</title>");
  // The classic table's images would sit on a line of text in a page with
  // a doctype, the background showing under every row; the other styles
  // centre their tables themselves (THtmlOptions::Centred).
  if (style == TPageStyle::Classic) lines.push_back("<style>td img{display:block}table table{margin:0 auto}</style>");
  lines.push_back("</head>");
  lines.push_back("<body style=\"margin:0;padding:0;background-color:" + background + "\">");
  if (mail && !page.Preheader.empty())
    lines.push_back("<div style=\"display:none;max-height:0;overflow:hidden;mso-hide:all\">" +
                    EscapeAttribute(page.Preheader) + "</div>");
  // Mail readers that drop the body keep the table's colour.
  lines.push_back("<table role=\"presentation\" width=\"100%\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\" bgcolor=\"" +
                  background + "\" style=\"background-color:" + background + "\"><tr><td>");
  lines.insert(lines.end(), table.begin(), table.end());
  lines.insert(lines.end(), {"</td></tr></table>", "</body>", "</html>"});
  return lines;
}

std::string DefaultPageTitle(const std::string& htmlPath) {
  return std::filesystem::path(htmlPath).stem().string();
}
