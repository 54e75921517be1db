#include "app/common/atomicfile.h"

#include "pgraphic/core/stagedfile.h"

void WriteFileAtomic(const std::string& path, const std::string& bytes) {
  WriteFileStaged(path, bytes);
}

std::string CrLfText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

void WriteLinesAtomic(const std::string& path, const std::vector<std::string>& lines) {
  WriteFileAtomic(path, CrLfText(lines));
}
