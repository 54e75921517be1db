#include "app/ui/links.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#ifndef TESSEL_DATA_DIR
#define TESSEL_DATA_DIR ""
#endif

QString FindUserGuide() {
  const QString name = QLatin1String(UserGuideName);
  const QString programDir = QCoreApplication::applicationDirPath();
  QStringList places{programDir,
                     // An installed tree that was moved as a whole.
                     programDir + QStringLiteral("/../share/tessel")};
  if (QLatin1String(TESSEL_DATA_DIR).size() > 0) places << QStringLiteral(TESSEL_DATA_DIR);
  places << QDir::currentPath();
  for (const QString& dir : places) {
    const QFileInfo guide(QDir(dir), name);
    if (guide.isFile()) return QDir::cleanPath(guide.absoluteFilePath());
  }
  return name;
}
