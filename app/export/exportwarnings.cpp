#include "app/export/exportwarnings.h"

namespace {

std::string Kilobytes(std::uint64_t bytes) { return std::to_string((bytes + 1023) / 1024) + " KB"; }

// "a, b and 3 more".
std::string Listed(const std::vector<std::string>& names) {
  constexpr std::size_t Shown = 3;
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < Shown; ++i) text += (i ? ", " : "") + names[i];
  if (names.size() > Shown) text += " and " + std::to_string(names.size() - Shown) + " more";
  return text;
}

}  // namespace

std::vector<TExportWarning> ExportWarnings(const TExportOptions& options, const TPageFacts& page) {
  std::vector<TExportWarning> warnings;
  if (page.HtmlBytes > MailClipBytes)
    warnings.push_back({"html-size", page.HtmlName + " is " + Kilobytes(page.HtmlBytes) +
                                         ": Gmail cuts a message of more than 102 KB short"});
  if (!page.LinkedWithoutAlt.empty())
    warnings.push_back({"link-without-alt",
                        std::to_string(page.LinkedWithoutAlt.size()) +
                            (page.LinkedWithoutAlt.size() == 1 ? " linked slice has" : " linked slices have") +
                            " no ALT text (" + Listed(page.LinkedWithoutAlt) +
                            "): with images blocked, nothing tells where the link goes"});
  if (page.SliceBytes > options.PageBudget)
    warnings.push_back({"page-budget", "the slices weigh " + std::to_string(page.SliceBytes) +
                                           " bytes together, more than the page budget of " +
                                           std::to_string(options.PageBudget) + " (PageBudget)"});
  if (options.Style == TPageStyle::Email && CleanBaseUrl(options.BaseUrl).empty())
    warnings.push_back({"email-relative",
                        "email without a base URL: a mail cannot show slices named relative to the HTML file"});
  return warnings;
}
