// The export's HTML with arbitrary names and texts: a real export of a
// 2 x 1 image into a directory in memory (tmpfs), whose HTML file name,
// links, targets and ALT texts come from the input. Whatever they hold:
// - the export succeeds and leaves exactly the HTML and its slices,
// - the HTML is ASCII, one tag after another, each attribute well quoted and
//   every '&' the start of a character reference,
// - every SRC, percent-decoded, names a slice file that was written,
// - the texts, decoded, are the ones given (when they are plain UTF-8).
//
// Input: a flags byte (bit 0 upper case, bit 1 double quotes, bit 2 links
// and ALT texts, bits 3 and 4 the page style), then NUL-separated fields:
// the HTML file name, link, target and ALT text of the first and the second
// slice, and a base URL.

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/export/exporter.h"
#include "app/cut/gridfile.h"
#include "app/export/htmltable.h"
#include "fuzz/fuzz_support.h"

namespace {

namespace fs = std::filesystem;

struct TFields {
  std::string Name;
  std::string Text[2][3];  // per slice: link, target, alt
  std::string BaseUrl;
};

class TFuzzUi : public TExportUi {
 public:
  TFuzzUi(std::string path, const TFields& fields) : Path(std::move(path)), Fields(fields) {}
  bool ChooseHtmlFile(std::string& path) override {
    path = Path;
    return true;
  }
  bool ConfirmOverwrite(const std::string&, const std::string&) override { return true; }
  void ShowExportOptions(TExportOptions&) override {}
  std::string EditSliceTags(TPixelGraphic&, const TGridCell& cell, const TSliceTag& tag) override {
    const std::string* t = Fields.Text[cell.Column - 1];
    return tag.Code(t[0], t[1], t[2]);
  }
  void EditCode(std::vector<std::string>&) override {}

 private:
  std::string Path;
  const TFields& Fields;
};

// Never destroyed: the clean-up at exit still needs it.
const fs::path& WorkDir() {
  static const fs::path* const dir = [] {
    const fs::path shm("/dev/shm");
    const fs::path base = fs::is_directory(shm) ? shm : fs::temp_directory_path();
    const auto* d = new fs::path(base / ("tessel-fuzz-html-" + std::to_string(::getpid())));
    fs::create_directories(*d);
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(WorkDir(), ignored);
    });
    return d;
  }();
  return *dir;
}

// A name the file system takes as one file in the directory.
std::string FileNameFrom(std::string name) {
  name.erase(std::remove(name.begin(), name.end(), '/'), name.end());
  if (name.size() > 200) name.resize(200);
  if (name.empty() || name == "." || name == "..") name = "x" + name;
  return name;
}

TFields FieldsFrom(const std::string& text) {
  TFields f;
  std::vector<std::string> parts{""};
  for (const char c : text) {
    if (c == '\0' && parts.size() < 8)
      parts.emplace_back();
    else
      parts.back() += c;
  }
  parts.resize(8);
  f.Name = FileNameFrom(parts[0]);
  for (int i = 0; i < 6; ++i) f.Text[i / 3][i % 3] = parts[std::size_t(1 + i)];
  f.BaseUrl = parts[7];
  return f;
}

// ---- reading the fragment back

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string PercentDecoded(const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '%') {
      out += value[i];
      continue;
    }
    if (i + 2 >= value.size() || HexValue(value[i + 1]) < 0 || HexValue(value[i + 2]) < 0)
      fuzz::Finding("a percent sign that starts no escape");
    out += char(HexValue(value[i + 1]) * 16 + HexValue(value[i + 2]));
    i += 2;
  }
  return out;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

// Character references decoded; a '&' that starts none is a finding.
std::string ReferencesDecoded(const std::string& value) {
  static const std::pair<const char*, char> named[] = {
      {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}};
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '&') {
      out += value[i];
      continue;
    }
    const std::size_t end = value.find(';', i);
    if (end == std::string::npos) fuzz::Finding("a '&' that starts no reference");
    const std::string ref = value.substr(i + 1, end - i);
    bool known = false;
    for (const auto& [name, c] : named)
      if (ref == name) out += c, known = true;
    if (!known) {
      if (ref.size() < 3 || ref[0] != '#' || ref.size() > 9 ||
          !std::all_of(ref.begin() + 1, ref.end() - 1, [](char c) { return c >= '0' && c <= '9'; }))
        fuzz::Finding("a '&' that starts no reference");
      AppendUtf8(out, std::uint32_t(std::stoul(ref.substr(1, ref.size() - 2))));
    }
    i = end;
  }
  return out;
}

struct TTag {
  std::string Name;  // lower case, "/" first for an end tag
  std::vector<std::pair<std::string, std::string>> Attributes;  // lower-case names, raw values

  const std::string* Attribute(const std::string& name) const {
    for (const auto& [n, v] : Attributes)
      if (n == name) return &v;
    return nullptr;
  }
};

std::string Lower(std::string s) { return LowerAscii(std::move(s)); }

bool IsNameChar(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A line of the fragment as tags; text between them, an unquoted value
// with a quote, '<' or '>' in a value, or anything unterminated is a finding.
std::vector<TTag> Tags(const std::string& line) {
  std::vector<TTag> tags;
  std::size_t i = 0;
  const auto skipBlanks = [&] {
    while (i < line.size() && line[i] == ' ') ++i;
  };
  const auto name = [&] {
    const std::size_t start = i;
    while (i < line.size() && IsNameChar(line[i])) ++i;
    if (i == start) fuzz::Finding("a tag or attribute without a name");
    return Lower(line.substr(start, i - start));
  };
  while (i < line.size()) {
    if (line[i++] != '<') fuzz::Finding("text between the tags");
    TTag tag;
    if (i < line.size() && line[i] == '/') tag.Name = "/", ++i;
    tag.Name += name();
    for (;;) {
      skipBlanks();
      if (i >= line.size()) fuzz::Finding("a tag without its end");
      if (line[i] == '>') break;
      std::string attribute = name();
      skipBlanks();
      if (i >= line.size() || line[i] != '=') fuzz::Finding("an attribute without a value");
      ++i;
      skipBlanks();
      std::string value;
      if (i < line.size() && (line[i] == '"' || line[i] == '\'')) {
        const char quote = line[i++];
        const std::size_t end = line.find(quote, i);
        if (end == std::string::npos) fuzz::Finding("a value without its closing quote");
        value = line.substr(i, end - i);
        i = end + 1;
      } else {
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '>') ++i;
        value = line.substr(start, i - start);
      }
      if (value.find_first_of("<>\"'") != std::string::npos) fuzz::Finding("markup inside a value");
      tag.Attributes.emplace_back(attribute, value);
    }
    ++i;
    tags.push_back(tag);
  }
  return tags;
}

// The plain UTF-8 texts, those the fragment gives back character for
// character: no bytes outside UTF-8, no control characters but tab and line ends.
bool PlainText(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F) return false;
      ++i;
      continue;
    }
    if (c < 0xC2 || c > 0xF4) return false;
    const std::size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    if (i + len > text.size()) return false;
    std::uint32_t cp = c & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) {
      const auto d = static_cast<unsigned char>(text[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    const std::uint32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || cp <= 0x9F) return false;
    i += len;
  }
  return true;
}

// always: the attribute is written also for an empty text.
void ExpectText(const TTag& tag, const std::string& attribute, const std::string& given, bool always = false) {
  const std::string* value = tag.Attribute(attribute);
  if ((given.empty() && !always) != (value == nullptr)) fuzz::Finding("an attribute present without its text or missing");
  if (!value) return;
  const std::string decoded = ReferencesDecoded(*value);
  if (PlainText(given) && decoded != given) fuzz::Finding("a text that does not come back");
}

void CheckCell(const std::vector<TTag>& tags, std::size_t& at, int column, const TFields& f,
               bool withTexts, bool classic) {
  const auto next = [&]() -> const TTag& {
    if (at >= tags.size()) fuzz::Finding("a row that ends too soon");
    return tags[at++];
  };
  if (next().Name != "td") fuzz::Finding("a cell without its td");
  const std::string* t = f.Text[column - 1];
  const bool link = withTexts && !t[0].empty();
  if (link) {
    const TTag& a = next();
    if (a.Name != "a") fuzz::Finding("a link without its a");
    ExpectText(a, "href", t[0]);
    ExpectText(a, "target", t[1]);
  }
  const TTag& img = next();
  const std::string* src = img.Attribute("src");
  if (img.Name != "img" || !src) fuzz::Finding("a cell without its image");
  const std::string slice = ExportNamesOf(f.Name).BaseName + "_" + std::to_string(column) + "_1.bmp";
  // After a base URL, the slice's name follows a slash.
  const std::string named = PercentDecoded(ReferencesDecoded(*src));
  if (CleanBaseUrl(f.BaseUrl).empty() ? named != slice
                                      : named.size() <= slice.size() ||
                                            named.compare(named.size() - slice.size() - 1, std::string::npos,
                                                          "/" + slice) != 0)
    fuzz::Finding("a SRC that names another file");
  if (!fs::is_regular_file(WorkDir() / slice)) fuzz::Finding("a SRC whose file was not written");
  if (withTexts || !classic) ExpectText(img, "alt", withTexts ? t[2] : "", !classic);
  if (link && next().Name != "/a") fuzz::Finding("a link that does not end");
  if (next().Name != "/td") fuzz::Finding("a cell that does not end");
}

void CheckHtml(const std::string& text, const TFields& f, bool withTexts, TPageStyle style) {
  for (const char c : text)
    if ((c < 0x20 || c > 0x7E) && c != '\r' && c != '\n') fuzz::Finding("a byte outside printable ASCII");
  std::vector<std::string> lines = SplitLines(text);
  if (lines.size() != 3 || text.size() < 2 || text.substr(text.size() - 2) != "\r\n")
    fuzz::Finding("not the three lines of a one-row table");
  // Mail's table for Outlook alone stands in conditional comments, which
  // every other reader skips.
  for (std::string& line : lines)
    for (std::size_t open; (open = line.find("<!--")) != std::string::npos;) {
      const std::size_t close = line.find("-->", open + 4);
      if (close == std::string::npos) fuzz::Finding("a comment that does not end");
      line.erase(open, close + 3 - open);
    }
  // fluid: the table in a box, beside a canvas that holds its shape.
  const bool boxed = style == TPageStyle::Fluid;
  const std::vector<std::string> opening =
      boxed ? std::vector<std::string>{"div", "canvas", "/canvas", "div", "table"} : std::vector<std::string>{"table"};
  std::vector<std::string> names;
  for (const TTag& tag : Tags(lines[0])) names.push_back(tag.Name);
  if (names != opening || Lower(lines[2]) != (boxed ? "</table></div></div>" : "</table>"))
    fuzz::Finding("a table that does not open and close");
  const std::vector<TTag> row = Tags(lines[1]);
  std::size_t at = 0;
  if (row.empty() || row[at++].Name != "tr") fuzz::Finding("a row without its tr");
  CheckCell(row, at, 1, f, withTexts, style == TPageStyle::Classic);
  CheckCell(row, at, 2, f, withTexts, style == TPageStyle::Classic);
  if (at + 1 != row.size() || row[at].Name != "/tr") fuzz::Finding("a row that does not end");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const TFields fields = FieldsFrom(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  const fs::path& dir = WorkDir();
  TPixelGraphic source;
  source.SetSizeAndFormat(2, 1, pgpf24Bit);
  TGridData cut;
  TSplitGrid& grid = cut.Grid;
  grid.ResetToImage(2, 1);
  grid.VertSplits.Add(1);
  TFuzzUi ui((dir / fields.Name).string(), fields);
  TSliceExporter exporter(cut, ui);
  exporter.Settings.OutputExtension = ".bmp";
  exporter.Settings.Options = {};
  exporter.Settings.Options.ShowOptions = false;
  exporter.Settings.Options.UpperCase = data[0] & 1;
  exporter.Settings.Options.DoubleQuote = data[0] & 2;
  exporter.Settings.Options.IncAltTags = data[0] & 4;
  exporter.Settings.Options.Style = PageStyles[(data[0] >> 3) & 3];
  exporter.Settings.Options.BaseUrl = fields.BaseUrl;
  const bool refused = !BaseUrlProblem(fields.BaseUrl).empty();
  try {
    if (!exporter.Export(source)) fuzz::Finding("the export was cancelled");
    if (refused) fuzz::Finding("a base URL with a query or fragment was taken");
  } catch (const EExportError&) {
    if (!refused) fuzz::Finding("a base URL was refused");
    if (!fs::is_empty(WorkDir())) fuzz::Finding("files left by a refused export");
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    fuzz::Finding("the export failed");
  }
  const std::string base = ExportNamesOf(fields.Name).BaseName;
  std::vector<std::string> expected{fields.Name, base + "_1_1.bmp", base + "_2_1.bmp"};
  std::vector<std::string> found;
  for (const auto& e : fs::directory_iterator(dir)) found.push_back(e.path().filename());
  std::sort(expected.begin(), expected.end());
  std::sort(found.begin(), found.end());
  if (found != expected) fuzz::Finding("other files than the HTML and its slices");
  CheckHtml(ReadWholeFile((dir / fields.Name).string()), fields, exporter.Settings.Options.IncAltTags,
            exporter.Settings.Options.Style);
  for (const std::string& name : found) fs::remove(dir / name);
  return 0;
}
