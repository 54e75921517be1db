#pragma once
// What makes an export all or nothing. While a TExportCommit lives it holds
// an advisory lock on a hidden file beside the HTML, named after the base
// name that every file of the export shares, so that a second export of the
// same page cannot mix its files in. The files are staged first and take
// their places together, in order, only when all of them are complete;
// whatever was staged and not committed is removed when it goes.

#include <functional>
#include <string>
#include <vector>

#include "app/export/exporterror.h"
#include "pgraphic/core/stagedfile.h"

class TExportCommit {
 public:
  // Takes the lock and removes staging files that killed runs left in the
  // directory. Raises EExportError when another export holds the lock and
  // EStreamError when the lock file cannot be made.
  TExportCommit(const std::string& directory, const std::string& baseName,
                const std::string& htmlPath);
  ~TExportCommit();
  TExportCommit(const TExportCommit&) = delete;
  TExportCommit& operator=(const TExportCommit&) = delete;

  // Refuses outputs that are the source file under any name (EExportError)
  // or a directory (EStreamError); returns those that exist already.
  std::vector<std::string> CheckOutputs(const std::vector<std::string>& outputs,
                                        const TFileIdentity& source) const;

  // Files in the order they are to take their places.
  void Stage(TStagedFile file);
  void Stage(std::vector<TStagedFile> files);

  // Puts every staged file in place, in order, telling placed about each.
  // Raises the first failure (only a change of the directory behind the
  // export's back can cause one, since every file is complete by now).
  void Commit(const std::function<void(const std::string& target)>& placed);

  const std::string& LockPath() const { return FLockPath; }

 private:
  std::string FLockPath;
  int FLock = -1;
  std::vector<TStagedFile> FStaged;
};
