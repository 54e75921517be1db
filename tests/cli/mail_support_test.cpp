// What each page style writes, looked up in what the major mail readers
// support (tests/data/mail/support.tsv, derived from public support data
// by scripts/mailclients_table.py). tessel-cli cuts a design with links,
// ALT texts, merged and skipped cells into automatic-format slices, in
// every style, as a fragment and as a whole page; every HTML element,
// attribute, CSS property, unit and image format found is listed per
// style, and each one a major reader does not fully support must be named
// below with the reason it does no harm there.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/file_contents.h"
#include "support/peer.h"
#include "support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

// Features the data has no file for, and why a mail reader shows the page
// all the same.
const std::map<std::string, const char*> NotInTheData = {
    {"html-html", "the document itself"},
    {"html-head", "the document itself"},
    {"html-title", "the document itself"},
    {"html-meta", "read by the readers that know the name, ignored by the rest"},
    {"html-a", "a link: the point of a linked slice in every reader"},
    {"html-src", "an image's address"},
    {"html-alt", "the ALT text: read aloud or shown where images are blocked"},
    {"html-href", "a link's address"},
    {"html-border", "HTML 4 table and image attribute, honoured since the first mail readers"},
    {"html-bgcolor", "HTML 4 cell colour, honoured since the first mail readers"},
    {"html-colspan", "HTML 4 table attribute"},
    {"html-rowspan", "HTML 4 table attribute"},
    {"html-charset", "the character set, read before anything else"},
    {"html-name", "part of a meta element"},
    {"html-content", "part of a meta element"},
    {"css-color", "the ALT text's colour, CSS 1"},
    {"css-font-family", "the ALT text's font, CSS 1"},
    {"css-mso-hide", "read by Outlook for Windows alone, to hide the preheader there"},
    {"css-container-type", "fluid: where a reader drops it, the cells' height:auto before the container "
                           "height takes over"},
    {"css-unit-cqw", "fluid: where a reader drops it, the cells' height:auto before the container height "
                     "takes over"},
    {"html-canvas", "fluid: a strut of no height that holds the box open; where a reader drops it the box "
                    "keeps its max-width"},
};

// Features a major reader supports only in part or not at all, and why
// that does no harm in what the styles write.
const std::map<std::string, const char*> Harmless = {
    {"html-doctype", "readers that drop the doctype lay the page out as they do every mail; the images are "
                     "blocks, so no text baseline opens under them"},
    {"html-lang", "a hint for speech and hyphenation"},
    {"html-role", "an ARIA hint: the table is read as layout, not data"},
    {"html-style", "classic's page: where the style element goes, the images keep their width and height "
                   "attributes"},
    {"html-body", "the body's margin and colour: the outer table carries the colour again"},
    {"html-srcset", "retina: the 1x file stays the src, which readers without srcset show"},
    {"html-width", "the table's fixed width for readers without CSS widths"},
    {"html-height", "the images' height; readers that drop it keep the shape from the width"},
    {"html-target", "a link's window: readers open links in a new one anyway"},
    {"html-img", "readers differ in formats the styles do not write (SVG, WebP in mail)"},
    {"html-meta-color-scheme", "a hint that the page is light: readers without it darken as they like"},
    {"css-display", "block only, on images: Outlook for Windows lays images out as blocks in cells anyway"},
    {"css-display-none", "the preheader: hidden by max-height:0 and overflow:hidden where display:none is not"},
    {"css-width", "backed by the width attributes"},
    {"css-height", "auto, or backed by the height attribute"},
    {"css-max-width", "on the table, where Outlook for Windows honours it; elsewhere its fixed table in "
                      "conditional comments holds the width"},
    {"css-max-height", "the hidden preheader, hidden by display:none where this is not honoured"},
    {"css-margin", "centring: the table's align and the outer cell centre it too"},
    {"css-padding", "0 on the cells; an empty cell's shape as a share of its width, which Outlook for Windows, "
                    "the reader short of it, gets as a fixed height in conditional comments"},
    {"css-aspect-ratio", "the images' shape while they are blocked: loaded images take it from their file"},
    {"css-overflow", "clips a blocked image's ALT text to its cell; where it is not honoured the ALT text is "
                     "sized to fit anyway"},
    {"css-font-size", "the ALT text's size; the reader's own where it is not honoured"},
    {"css-line-height", "the ALT text's lines; the reader's own where it is not honoured"},
    {"css-background", "html5 and fluid: a skipped cell's colour alone, which every reader takes"},
    {"css-table-layout", "fluid: the column shares hold in the automatic layout too"},
    {"css-unit-calc", "fluid: where a reader drops it, the cells' height:auto before it takes over"},
    {"css-selector-descendant", "classic's page: where the selector goes, the images keep their attributes"},
    {"css-selector-type", "classic's page: where the selector goes, the images keep their attributes"},
};

// What the automatic format may choose for a web page but never for mail.
const std::map<std::string, const char*> OutsideMail = {
    {"image-webp", "classic, html5 and fluid are for web pages; email leaves WebP out"},
};

struct TSupport {
  std::set<std::string> Known;
  std::map<std::string, std::vector<std::string>> Short;  // feature: "reader verdict note"
};

TSupport LoadSupport() {
  TSupport support;
  std::istringstream in(support::ReadText(fs::path(TESSEL_SOURCE_DIR) / "tests/data/mail/support.tsv"));
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string field; std::getline(cells, field, '\t');) fields.push_back(field);
    if (fields.size() < 3) continue;
    if (fields[1] == "all")
      support.Known.insert(fields[0]);
    else
      support.Short[fields[0]].push_back(fields[1] + " " + fields[2] + (fields.size() > 3 ? " " + fields[3] : ""));
  }
  return support;
}

std::string Lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The features of an HTML file, by the names of the data's files.
std::set<std::string> FeaturesOf(const std::string& html) {
  std::set<std::string> features;
  if (html.find("<!--") != std::string::npos) features.insert("html-comments");
  if (Lower(html).find("<!doctype") != std::string::npos) features.insert("html-doctype");
  // Outlook's own markup, inside its conditional comments, is for Outlook alone.
  const std::string text = std::regex_replace(html, std::regex("<!--\\[if mso\\]>[^]*?<!\\[endif\\]-->"), "");
  static const std::regex tag("<([A-Za-z][A-Za-z0-9]*)([^>]*)>");
  static const std::regex attribute("([A-Za-z-]+)\\s*=\\s*(\"[^\"]*\"|'[^']*'|[^\\s>]+)");
  static const std::regex declaration("([A-Za-z-]+)\\s*:\\s*([^;]+)");
  const auto css = [&](const std::string& block) {
    for (std::sregex_iterator d(block.begin(), block.end(), declaration), end; d != end; ++d) {
      const std::string property = Lower((*d)[1]), value = Lower((*d)[2]);
      // The data's padding covers its four sides.
      features.insert(property == "display" && value == "none" ? "css-display-none"
                      : property.starts_with("padding-")      ? "css-padding"
                                                               : "css-" + property);
      if (std::regex_search(value, std::regex("[0-9]px"))) features.insert("css-unit-px");
      if (value.find('%') != std::string::npos) features.insert("css-unit-percent");
      if (value.find("calc(") != std::string::npos) features.insert("css-unit-calc");
      if (value.find("cqw") != std::string::npos) features.insert("css-unit-cqw");
      if (value.find("!important") != std::string::npos) features.insert("css-important");
    }
  };
  for (std::sregex_iterator t(text.begin(), text.end(), tag), end; t != end; ++t) {
    const std::string element = Lower((*t)[1]);
    features.insert(element == "tr" || element == "td" || element == "colgroup" || element == "col"
                        ? "html-table"
                        : "html-" + element);
    const std::string attributes = (*t)[2];
    for (std::sregex_iterator a(attributes.begin(), attributes.end(), attribute); a != end; ++a) {
      const std::string name = Lower((*a)[1]);
      std::string value = (*a)[2];
      if (value.front() == '"' || value.front() == '\'') value = value.substr(1, value.size() - 2);
      if (name == "style") {
        css(value);
        continue;
      }
      features.insert("html-" + name);
      if (name == "name" && value == "color-scheme") features.insert("html-meta-color-scheme");
      if (name == "src") {
        const std::string extension = Lower(value.substr(value.rfind('.') + 1));
        features.insert("image-" + std::string(extension == "jpeg" ? "jpg" : extension));
      }
    }
    if (element == "style") {
      const std::size_t from = std::size_t((*t).position(0) + (*t).length(0));
      const std::string block = text.substr(from, text.find("</", from) - from);
      css(block.substr(block.find('{') + 1));
      if (std::regex_search(block, std::regex("^[a-z]+ [a-z]+\\{"))) {
        features.insert("css-selector-descendant");
        features.insert("css-selector-type");
      }
    }
  }
  return features;
}

class MailSupport : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = support::ScratchDir("mail-support");
    peer::RgbImage design{640, 300, {}};
    for (int y = 0; y < 300; ++y)
      for (int x = 0; x < 640; ++x)
        design.Rgb.insert(design.Rgb.end(), {std::uint8_t(y < 60 ? 20 : x * 255 / 640),
                                             std::uint8_t(y < 60 ? 30 : 100 + y / 3),
                                             std::uint8_t(y < 60 ? 60 : (x ^ y) & 255)});
    peer::WritePpm((Dir / "design.ppm").string(), design);
    std::ofstream(Dir / "cut.cells") << "merge\t1\t1\t3\t1\nskip\t2\t3\nmerge\t3\t2\t1\t2\n";
    std::ofstream(Dir / "cut.tags") << "1\t1\thttps://example.com/\t_blank\tSpring news\n"
                                       "1\t2\thttps://example.com/a\t\tShop all\n3\t2\t\t\tSide\n";
  }

  // The HTML file of an export with more arguments.
  fs::path Export(const std::string& name, const std::vector<std::string>& more) {
    std::string command = "cd '" + Dir.string() + "' && '" TESSEL_CLI_PATH "' slice design.ppm " + name +
                          ".html --vert 200,420 --horz 60,200 --cells cut.cells --tags cut.tags --format auto";
    for (const std::string& arg : more) command += " '" + arg + "'";
    EXPECT_EQ(peer::Run(command + " >/dev/null 2>&1"), 0) << command;
    return Dir / (name + ".html");
  }

  fs::path Dir;
};

TEST_F(MailSupport, EveryFeatureEachStyleWritesIsSupportedOrHarmless) {
  const TSupport support = LoadSupport();
  ASSERT_GT(support.Known.size(), 200u);
  const std::vector<std::pair<std::string, std::vector<std::string>>> exports = {
      {"classic", {"--style", "classic"}},
      {"classic page", {"--style", "classic", "--page"}},
      {"html5", {"--style", "html5"}},
      {"html5 page", {"--style", "html5", "--page"}},
      {"email", {"--style", "email", "--base-url", "https://example.com/m"}},
      {"email page", {"--style", "email", "--page", "--preheader", "This week", "--base-url", "https://example.com/m"}},
      {"email fixed", {"--style", "email", "--set", "EmailFixedWidth=true"}},
      {"email retina", {"--style", "email", "--retina"}},
      {"fluid", {"--style", "fluid"}},
      {"fluid page", {"--style", "fluid", "--page"}},
  };
  std::set<std::string> all;
  for (std::size_t i = 0; i < exports.size(); ++i) {
    const auto& [label, args] = exports[i];
    SCOPED_TRACE(label);
    const std::set<std::string> features = FeaturesOf(support::ReadText(Export("export" + std::to_string(i), args)));
    all.insert(features.begin(), features.end());
    std::string list;
    for (const std::string& feature : features) {
      list += " " + feature;
      if (!support.Known.count(feature)) {
        EXPECT_TRUE(NotInTheData.count(feature)) << feature << " is not in the mail readers' data";
        continue;
      }
      const auto shortfalls = support.Short.find(feature);
      if (shortfalls == support.Short.end() || Harmless.count(feature)) continue;
      if (!label.starts_with("email") && OutsideMail.count(feature)) continue;
      for (const std::string& shortfall : shortfalls->second) ADD_FAILURE() << feature << ": " << shortfall;
    }
    std::printf("%s:%s\n", label.c_str(), list.c_str());
  }
  // A reason kept for what no style writes any more, or for what every
  // reader now supports, would excuse the next feature of that name unseen.
  for (const auto& [feature, reason] : Harmless) {
    EXPECT_TRUE(all.count(feature)) << feature << " is excused but not written";
    EXPECT_TRUE(support.Short.count(feature)) << feature << " is excused but every major reader supports it";
  }
  for (const auto& [feature, reason] : NotInTheData) {
    EXPECT_TRUE(all.count(feature)) << feature << " is excused but not written";
    EXPECT_FALSE(support.Known.count(feature)) << feature << " is in the data after all";
  }
}

// Whole pages through a validator (tidy): nothing to say of any but those
// whose table is as of old, classic's (images without ALT text, row
// heights) and the mail table of fixed width (row heights, which Outlook
// reads), which may draw warnings but no error.
TEST_F(MailSupport, WholePagesPassTheValidator) {
  if (peer::Run("tidy -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "skipped: tidy not found";
  const std::vector<std::pair<std::vector<std::string>, int>> pages = {
      {{"--style", "classic"}, 1},
      {{"--style", "html5", "--title", "Caf\xc3\xa9 & <news>"}, 0},
      {{"--style", "email", "--preheader", "This week: \"spring\" & more", "--background", "#102030"}, 0},
      {{"--style", "email", "--retina"}, 0},
      {{"--style", "email", "--set", "EmailFixedWidth=true"}, 1},
      {{"--style", "fluid"}, 0},
  };
  for (std::size_t i = 0; i < pages.size(); ++i) {
    std::vector<std::string> args = pages[i].first;
    args.push_back("--page");
    const fs::path html = Export("page" + std::to_string(i), args);
    std::string said;
    const int status = peer::Run("(tidy -q -e '" + html.string() + "' 2>&1)", &said);
    EXPECT_LE(status, pages[i].second) << args[1] << ":\n" << said;
  }
}

}  // namespace
