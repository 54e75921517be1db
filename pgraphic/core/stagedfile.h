#pragma once
// Files that appear only complete. A TStagedFile is written under a
// staging name in its target's directory and renamed over the target when
// committed; until then the target is untouched, and a staged file that is
// never committed is removed by its destructor. Image saves, the HTML and
// grid files and the slices of an export all go through it, so they share
// the rules below.
//
// - Messages always name the target, never the staging name:
//   "Cannot create file \"T\". <reason>" when the staging file cannot be
//   made (or the target is a directory or a device), "Cannot write file
//   \"T\". <reason>" when writing, syncing or renaming fails.
// - A replaced regular file lends the new one its permission bits, never
//   set-user-ID, set-group-ID or sticky, and its owner where the system
//   allows. A symbolic link at the target is replaced by a regular file of
//   the default mode (0666 less the umask); the file it points to is left
//   alone.
// - Staging names carry this host and process: a file left by a killed run
//   is recognised and removed by RemoveStaleStagingFiles once its process
//   is gone.
//
// A staged file may be written on any thread; Commit renames, so commit
// several in the order they should appear.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pgraphic/core/stream.h"

class TStagedFile {
 public:
  // Creates the staging file beside target. Raises EStreamError.
  explicit TStagedFile(const std::string& target);
  ~TStagedFile();
  TStagedFile(TStagedFile&& other) noexcept;
  TStagedFile& operator=(TStagedFile&& other) noexcept;
  TStagedFile(const TStagedFile&) = delete;
  TStagedFile& operator=(const TStagedFile&) = delete;

  // The stream to write the content to; valid until Finish. Its errors name
  // the target.
  TStream& Stream();
  // Flushes, syncs to the disk and closes the staging file: the content is
  // complete. Raises EStreamError. Done by Commit if not done before.
  void Finish();
  // Puts the staging file in the target's place. Raises EStreamError; the
  // target is then as it was.
  void Commit();

  const std::string& Target() const { return FTarget; }
  const std::string& StagingPath() const { return FStaging; }
  bool Committed() const { return FCommitted; }

 private:
  void Discard() noexcept;

  std::string FTarget;
  std::string FStaging;
  std::unique_ptr<TFileStream> FFile;
  bool FComplete = false;  // finished without an error
  bool FCommitted = false;
};

// Writes bytes to path through a staged file.
void WriteFileStaged(const std::string& path, const std::string& bytes);

// Commits the files in order, telling placed (if given) about each target,
// then syncs their directories so that the new names survive a crash. The
// first failure ends the commit and is raised; the files after it stay
// staged (their destructors remove them).
void CommitStagedFiles(std::vector<TStagedFile>& files,
                       const std::function<void(const std::string& target)>& placed = nullptr);

// Removes the staging files that runs of this program on this host left in
// directory and whose process no longer exists. Returns how many went.
int RemoveStaleStagingFiles(const std::string& directory);

// The staging name of number n of process pid on this host (a bare name,
// no directory), and the process of a staging name of this host (0 when
// name is none).
std::string StagingFileName(long pid, std::uint64_t n);
long StagingFileOwner(const std::string& name);

// A file system object's identity: the same file under any name or link.
struct TFileIdentity {
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  bool Known = false;  // false when the path names nothing
  bool operator==(const TFileIdentity& other) const {
    return Known && other.Known && Device == other.Device && Inode == other.Inode;
  }
};
// The identity of what path names, links followed.
TFileIdentity FileIdentityOf(const std::string& path);
