// The parser of tessel-cli slice --tags files on arbitrary text, and the
// writer of the tags file beside a grid on what it parsed: read back, that
// file gives the same texts.

#include <stdexcept>
#include <string>

#include "app/common/atomicfile.h"
#include "app/common/convert.h"
#include "app/cut/tagsfile.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const TTagMap tags = ParseTags(text, "tags");
    if (tags.size() > size / 4 + 1) fuzz::Finding("more cells than lines");
    for (const auto& [cell, t] : tags)
      if (t.Link.size() + t.Target.size() + t.Alt.size() > size) fuzz::Finding("field longer than the text");
    TTagMap kept;
    for (const auto& [cell, t] : tags)
      if (!t.Empty()) kept[cell] = t;
    if (ParseTags(CrLfText(TagsFileLines(tags)), "written") != kept) fuzz::Finding("written tags read back otherwise");
  } catch (const EConvertError&) {
  } catch (const std::runtime_error&) {
  }
  return 0;
}
