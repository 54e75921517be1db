#include "platform/shellopen.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {

QUrl UrlFor(const QString& target) {
  // A file that exists wins over anything that merely looks like a scheme.
  const QFileInfo file(target);
  if (file.exists()) return QUrl::fromLocalFile(file.absoluteFilePath());
  const QUrl url(target, QUrl::StrictMode);
  // One-letter schemes would be drive letters, not addresses.
  if (url.isValid() && url.scheme().size() > 1) return url;
  if (target.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
    return QUrl::fromUserInput(target);
  return QUrl::fromLocalFile(file.absoluteFilePath());
}

}  // namespace

bool ShellOpen(const QString& target) {
  if (target.trimmed().isEmpty()) return false;
  return QDesktopServices::openUrl(UrlFor(target));
}
