#pragma once
// The whole page around the table, for a page to open or a mail to send as
// it is: doctype, language, character set, viewport, title, and the table
// centred on a background colour with no margin. A page for mail also
// carries what mail readers need: no reformatting by Apple Mail, the light
// colour scheme only, Outlook at 96 dpi, and a hidden preheader.

#include <string>
#include <vector>

#include "app/export/htmltable.h"

struct THtmlPage {
  std::string Title;      // as typed; escaped here
  TRGB Background = RGBColor(255, 255, 255);
  std::string Preheader;  // mail: the line readers show beside the subject; empty: none
};

// The lines of the file: the table's lines (as THtmlTable wrote them,
// centred) in their page.
std::vector<std::string> HtmlPageLines(const std::vector<std::string>& table, TPageStyle style, const THtmlPage& page);

// A page's title when none is given: the HTML file's name without its extension.
std::string DefaultPageTitle(const std::string& htmlPath);
