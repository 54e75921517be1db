#include "app/atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "pgraphic/core/stream.h"

namespace {

[[noreturn]] void RaiseWrite(const std::string& path, int error) {
  throw EStreamError("Cannot write file \"" + path + "\". " + std::strerror(error ? error : EIO));
}

std::string TempPatternFor(const std::string& path) {
  const std::filesystem::path target(path);
  const std::filesystem::path dir = target.parent_path();
  const std::string name = "." + target.filename().string() + ".XXXXXX";
  return dir.empty() ? name : (dir / name).string();
}

// A replaced file keeps its permissions; a new one gets the usual 0666 - umask.
mode_t ModeFor(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Writes, flushes and closes the temporary; returns 0 or the errno.
int FillTemp(int fd, const std::string& bytes, mode_t mode) {
  int error = 0;
  if (!WriteAll(fd, bytes) || fchmod(fd, mode) != 0 || fsync(fd) != 0) error = errno ? errno : EIO;
  if (close(fd) != 0 && error == 0) error = errno ? errno : EIO;
  return error;
}

}  // namespace

void WriteFileAtomic(const std::string& path, const std::string& bytes) {
  std::string temp = TempPatternFor(path);
  const mode_t mode = ModeFor(path);
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    const int error = errno;
    throw EStreamError("Cannot create file \"" + path + "\". " + std::strerror(error));
  }
  int error = FillTemp(fd, bytes, mode);
  if (error == 0 && rename(temp.c_str(), path.c_str()) != 0) error = errno ? errno : EIO;
  if (error != 0) {
    unlink(temp.c_str());
    RaiseWrite(path, error);
  }
}

void WriteLinesAtomic(const std::string& path, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  WriteFileAtomic(path, ToSingleByte(text));
}

namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned ones, which map
// to the C1 control of the same number as the platform does.
constexpr std::uint16_t Cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char CodePointToByte(std::uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (unsigned i = 0; i < 32; ++i) {
    const std::uint32_t mapped = Cp1252High[i] ? Cp1252High[i] : 0x80 + i;
    if (mapped == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
}

// Length of the UTF-8 sequence at text[i] (0 when it is not a valid one) and
// its code point.
std::size_t DecodeUtf8(const std::string& text, std::size_t i, std::uint32_t& cp) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t len = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (lead >= 0xF5) len = 0;
  if (len == 0 || len > text.size() - i) return 0;
  cp = lead & (0x7F >> len);
  for (std::size_t k = 1; k < len; ++k) {
    const auto c = static_cast<unsigned char>(text[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  const std::uint32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

std::string ToSingleByte(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::uint32_t cp = 0;
    const std::size_t len = static_cast<unsigned char>(text[i]) < 0x80 ? 0 : DecodeUtf8(text, i, cp);
    out += len ? CodePointToByte(cp) : text[i];
    i += len ? len : 1;
  }
  return out;
}
