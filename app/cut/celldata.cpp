#include "app/cut/celldata.h"

#include "app/common/text.h"

std::string SliceNameProblem(const std::string& name) {
  if (name.empty()) return "a slice name cannot be empty";
  if (name.size() > 100) return "the slice name \"" + QuotedInMessage(name, 40) + "\" is longer than 100 characters";
  for (const char c : name) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                         c == '_' || c == '.';
    if (!allowed)
      return "the slice name \"" + QuotedInMessage(name) + "\" may hold only letters A-Z, digits, '-', '_' and '.'";
  }
  if (name[0] == '.' || name[0] == '-') return "the slice name \"" + name + "\" cannot start with '" + name[0] + "'";
  return "";
}

std::optional<std::pair<TCellKey, TCellKey>> SameSliceNames(const std::map<TCellKey, std::string>& names) {
  std::map<std::string, TCellKey> seen;
  for (const auto& [cell, name] : names) {
    const auto [it, fresh] = seen.emplace(LowerAscii(name), cell);
    if (!fresh) return std::pair{it->second, cell};
  }
  return std::nullopt;
}
