#pragma once
// What makes an export all or nothing. While a TExportCommit lives it holds
// an advisory lock on a hidden file beside the HTML, named after the base
// name that every file of the export shares, so that a second export of the
// same page cannot mix its files in. The files are staged first and take
// their places together, in order, only when all of them are complete;
// whatever was staged and not committed is removed when it goes, and so is
// a folder it made for them.

#include <functional>
#include <string>
#include <vector>

#include "app/export/exporterror.h"
#include "app/export/slicenames.h"
#include "pgraphic/core/stagedfile.h"

class TExportCommit {
 public:
  // Makes the HTML's folder when it is missing and makeFolder says so,
  // takes the lock and removes staging files that killed runs left in the
  // folder. Raises EExportBusy, naming the page of the export that holds
  // the lock, and EStreamWriteError when the folder or the lock file cannot
  // be made.
  TExportCommit(const TExportNames& names, const std::string& htmlPath, bool makeFolder = false);
  ~TExportCommit();
  TExportCommit(const TExportCommit&) = delete;
  TExportCommit& operator=(const TExportCommit&) = delete;

  // Files in the order they are to take their places.
  void Stage(TStagedFile file);
  void Stage(std::vector<TStagedFile> files);
  // Whether a file is staged for target.
  bool Stages(const std::string& target) const;
  // A file removed once every staged one has taken its place.
  void Remove(const std::string& path);

  // Puts every staged file in place, in order, then removes the files to
  // remove. A file whose bytes are those of the file in its place already
  // leaves that file as it is, its time too (placed is told it is
  // unchanged): a sync by time then copies only what changed. Raises the
  // first failure (only a change of the folder behind the export's back can
  // cause one, since every file is complete by now).
  void Commit(const std::function<void(const std::string& target, bool unchanged)>& placed,
              const std::function<void(const std::string& path)>& removed = nullptr);

  const std::string& LockPath() const { return FLockPath; }

 private:
  std::string FLockPath;
  int FLock = -1;
  std::vector<std::string> FMadeFolders;  // from the top down
  std::vector<TStagedFile> FStaged;
  std::vector<std::string> FRemoved;
  bool FCommitted = false;
};

// The lock file of the export of names ("FOLDER/.BASE.tessel-lock").
std::string LockPathFor(const TExportNames& names);
