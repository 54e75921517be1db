#include "platform/privatetempdir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QLatin1String kPrefix("tessel-");

// The process number in a folder name "tessel-<pid>-XXXXXX"; 0 for any other.
long OwnerOf(const QString& name) {
  if (!name.startsWith(kPrefix)) return 0;
  const qsizetype dash = name.indexOf(QLatin1Char('-'), kPrefix.size());
  if (dash < 0 || name.size() - dash - 1 != 6) return 0;
  bool ok = false;
  const long pid = name.mid(kPrefix.size(), dash - kPrefix.size()).toLong(&ok);
  return ok && pid > 0 ? pid : 0;
}

bool ProcessIsGone(long pid) { return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH; }

}  // namespace

TPGPrivateTempDir::TPGPrivateTempDir(QString parent) : FParent(std::move(parent)) {}

TPGPrivateTempDir::~TPGPrivateTempDir() = default;

QString TPGPrivateTempDir::Path() {
  if (FDir) return FDir->path();
  PGRemoveStaleTempDirs(FParent);
  // Made with mode 0700 under a name nobody else has: nothing of another
  // user's or another process's can be in it.
  auto dir = std::make_unique<QTemporaryDir>(
      FParent + QLatin1Char('/') + kPrefix + QString::number(QCoreApplication::applicationPid()) +
      QStringLiteral("-XXXXXX"));
  if (!dir->isValid())
    throw std::runtime_error("Cannot create a temporary folder in " + FParent.toStdString() + ". " +
                             dir->errorString().toStdString());
  FDir = std::move(dir);
  return FDir->path();
}

int PGRemoveStaleTempDirs(const QString& parent) {
  const QDir folder(parent);
  int removed = 0;
  for (const QString& name :
       folder.entryList({kPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden | QDir::NoSymLinks)) {
    const long owner = OwnerOf(name);
    if (owner == 0 || owner == long(::getpid()) || !ProcessIsGone(owner)) continue;
    const QString path = folder.filePath(name);
    struct stat st {};
    // Only folders of this user; a link planted under such a name is never
    // followed.
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != ::getuid())
      continue;
    if (QDir(path).removeRecursively()) ++removed;
  }
  return removed;
}
