#include "app/export/exportmanifest.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "app/cut/companionfile.h"
#include "app/export/slicenames.h"

namespace {

constexpr const char* ManifestEnd = ".tessel-files";

std::string FolderOf(const std::string& htmlPath) { return std::filesystem::path(htmlPath).parent_path().string(); }

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string ManifestPath(const std::string& htmlPath) {
  const std::filesystem::path path(htmlPath);
  return PathInDirectory(path.parent_path().string(), "." + path.filename().string() + ManifestEnd);
}

std::string ManifestText(const std::string& pageName, const std::vector<TManifestEntry>& entries) {
  std::string text = "# the files Tessel wrote for " + pageName + "; it removes none but these\n";
  for (const TManifestEntry& entry : entries)
    if (entry.Name.find_first_of("\r\n") == std::string::npos) text += entry.Kind + '\t' + entry.Name + '\n';
  return text;
}

std::vector<TManifestEntry> ReadManifest(const std::string& path) {
  std::vector<TManifestEntry> entries;
  if (!IsRegularFile(path)) return entries;
  try {
    for (const std::string& line : CompanionFileLines(ReadInputText(path))) {
      const std::size_t tab = line.find('\t');
      if (line.empty() || line[0] == '#' || tab == std::string::npos) continue;
      const std::string name = line.substr(tab + 1);
      // A name that would reach out of the folder, or name another file to
      // the system (cut at a NUL), is none Tessel wrote.
      if (name.empty() || name.find_first_of(std::string("/\0", 2)) != std::string::npos || name == "." ||
          name == "..")
        continue;
      entries.push_back({line.substr(0, tab), name});
    }
  } catch (...) {
    entries.clear();
  }
  return entries;
}

std::map<std::string, std::string> OtherPagesFiles(const std::string& folder, const std::string& htmlPath) {
  std::map<std::string, std::string> files;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return files;
  const std::string own = std::filesystem::path(ManifestPath(htmlPath)).filename().string();
  const std::string end = ManifestEnd;
  std::vector<std::string> manifests;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() > end.size() + 1 && name[0] == '.' && name != own &&
        name.compare(name.size() - end.size(), end.size(), end) == 0)
      manifests.push_back(name);
  }
  ::closedir(dir);
  for (const std::string& manifest : manifests) {
    const std::string page = manifest.substr(1, manifest.size() - end.size() - 1);
    if (!IsRegularFile(PathInDirectory(folder, page))) continue;
    for (const TManifestEntry& entry : ReadManifest(PathInDirectory(folder, manifest)))
      files.emplace(entry.Name, PathInDirectory(folder, page));
  }
  return files;
}

std::vector<std::string> SlicesToPrune(const std::string& htmlPath, const std::vector<std::string>& now,
                                       const TFileIdentity& source) {
  const std::set<std::string> kept(now.begin(), now.end());
  const std::string folder = FolderOf(htmlPath);
  // A file another page of the folder lists now is that page's, whatever
  // this page once wrote under its name.
  const std::map<std::string, std::string> others = OtherPagesFiles(folder, htmlPath);
  std::vector<std::string> pruned;
  for (const TManifestEntry& entry : ReadManifest(ManifestPath(htmlPath))) {
    const std::string path = PathInDirectory(folder, entry.Name);
    if (entry.Kind != "slice" || kept.count(entry.Name) || others.count(entry.Name) || !IsRegularFile(path) ||
        FileIdentityOf(path) == source)
      continue;
    if (std::find(pruned.begin(), pruned.end(), path) == pruned.end()) pruned.push_back(path);
  }
  return pruned;
}
