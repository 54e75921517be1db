#pragma once
// A folder of its own for temporary files: made in a given folder (the
// system's temporary folder) on first use, readable by this user only, and
// removed with everything in it when the object goes. Another user's files,
// or another running copy of the program, never stand in its way. Its name
// carries the process number, so that folders left by runs that ended
// without removing theirs (a crash, a kill) are found and removed when the
// next one is made.

#include <QString>

#include <memory>

class QTemporaryDir;

class TPGPrivateTempDir {
 public:
  // `parent`: where the folder is made, taken now.
  explicit TPGPrivateTempDir(QString parent);
  ~TPGPrivateTempDir();
  TPGPrivateTempDir(const TPGPrivateTempDir&) = delete;
  TPGPrivateTempDir& operator=(const TPGPrivateTempDir&) = delete;

  // The folder, made on the first call. Raises std::runtime_error when it
  // cannot be made.
  QString Path();

 private:
  const QString FParent;
  std::unique_ptr<QTemporaryDir> FDir;
};

// Removes the folders of this program in `parent` whose process has ended and
// that belong to this user; returns how many went.
int PGRemoveStaleTempDirs(const QString& parent);
