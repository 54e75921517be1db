#include "app/common/atomicfile.h"

void WriteFileAtomic(const std::string& path, const std::string& bytes) {
  WriteFileStaged(path, bytes);
}

TStagedFile StagedText(const std::string& path, const std::string& bytes) {
  TStagedFile file(path);
  file.Stream().WriteBuffer(bytes.data(), std::int64_t(bytes.size()));
  file.Finish();
  return file;
}

std::string CrLfText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

void WriteLinesAtomic(const std::string& path, const std::vector<std::string>& lines) {
  WriteFileAtomic(path, CrLfText(lines));
}
