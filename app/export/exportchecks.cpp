#include "app/export/exportchecks.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "pgraphic/core/stream.h"

namespace {

std::string NameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// The folder a path lies in, as the system names it ("." for none).
std::string FolderOf(const std::string& folder) { return folder.empty() ? "." : folder; }

// The nearest folder of path or above it that exists ("" when none does).
std::string NearestExisting(std::string folder) {
  std::error_code ec;
  for (std::filesystem::path p = FolderOf(folder);; p = p.parent_path()) {
    if (std::filesystem::exists(p, ec)) return p.string();
    if (!p.has_parent_path() || p.parent_path() == p) return p.is_absolute() ? p.string() : ".";
  }
}

}  // namespace

void RefuseLongNames(const TExportPlan& plan) {
  const long most = ::pathconf(NearestExisting(plan.Names.Directory).c_str(), _PC_NAME_MAX);
  const std::size_t limit = most > 0 ? std::size_t(most) : NAME_MAX;
  for (const std::string& path : plan.Outputs)
    if (NameOf(path).size() > limit)
      throw EStreamWriteError("Cannot create file \"" + path + "\". " + std::strerror(ENAMETOOLONG));
}

void CheckFolderWritable(const std::string& htmlPath, const std::string& folder, bool makeFolder) {
  std::error_code ec;
  const bool exists = std::filesystem::exists(FolderOf(folder), ec);
  if (!exists && !makeFolder)
    throw EStreamWriteError("Cannot create file \"" + htmlPath + "\". " + std::strerror(ENOENT));
  const std::string nearest = exists ? FolderOf(folder) : NearestExisting(folder);
  struct stat st {};
  if (::stat(nearest.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw EStreamWriteError("Cannot create file \"" + htmlPath + "\". " + std::strerror(ENOTDIR));
  if (::access(nearest.c_str(), W_OK | X_OK) != 0)
    throw EStreamWriteError("Cannot create file \"" + htmlPath + "\". " + std::strerror(errno));
}

std::vector<std::string> ExistingOutputs(const std::vector<std::string>& outputs, const TFileIdentity& source) {
  std::vector<std::string> existing;
  for (const std::string& path : outputs) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) continue;
    // A link to the source counts as the source: the page would lose it.
    if (FileIdentityOf(path) == source)
      throw EOutputRefused("Cannot export: \"" + path + "\" is the source image itself; nothing was written.");
    if (S_ISDIR(st.st_mode))
      throw EStreamWriteError("Cannot create file \"" + path + "\". " + std::strerror(EISDIR));
    existing.push_back(path);
  }
  return existing;
}
