#pragma once
// What mail readers and browsers will make of an exported page, said
// before it is sent: the export goes on all the same. The command line
// prints the warnings, the window shows them on its status line and in
// the code dialog.

#include <cstdint>
#include <string>
#include <vector>

#include "app/export/exportoptions.h"

struct TExportWarning {
  std::string Id;    // "html-size", "link-without-alt", "page-budget", "email-relative"
  std::string Text;  // one line, for people
};

// Gmail shows no more of a message than this and cuts the rest behind a link.
inline constexpr std::uint64_t MailClipBytes = 102 * 1024;

// What the export knows of its page when the HTML is complete.
struct TPageFacts {
  std::string HtmlName;                       // the HTML file's name
  std::uint64_t HtmlBytes = 0;
  std::uint64_t SliceBytes = 0;               // what a reader loads (retina: the larger of each cell's files)
  std::vector<std::string> LinkedWithoutAlt;  // slice names
};

std::vector<TExportWarning> ExportWarnings(const TExportOptions& options, const TPageFacts& page);
