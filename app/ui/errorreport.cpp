#include "app/ui/errorreport.h"

#include <QFont>
#include <QFontDatabase>
#include <QMessageBox>

#include "app/ui/qsettingsstore.h"
#include "platform/platform.h"

namespace {

TErrorSink& Sink() {
  static TErrorSink sink;
  return sink;
}

QString& Title() {
  static QString title = QStringLiteral("Tessel!");
  return title;
}

}  // namespace

QString ErrorMessage(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return QString::fromStdString(e.what());
  } catch (...) {
    return QStringLiteral("Unknown error");
  }
}

void ReportError(const QString& message) {
  if (Sink()) {
    Sink()(message);
    return;
  }
  QMessageBox::critical(QApplication::activeWindow(), Title(), message);
}

void SetErrorSink(TErrorSink sink) { Sink() = std::move(sink); }

bool RunReported(const std::function<void()>& command) {
  try {
    command();
    return true;
  } catch (...) {
    ReportError(ErrorMessage(std::current_exception()));
    return false;
  }
}

QString ApplicationTitle() { return Title(); }

void SetApplicationTitle(const QString& title) { Title() = title; }

void PrepareTesselApplication() {
  PGInstallPlatform();
  // The window's texts are laid out for Arial; its metric twin stands in
  // where Arial itself is not installed. The dialogs' old bitmap face is the
  // desktop's own sans font here.
  QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
  QFont::insertSubstitution(QStringLiteral("MS Sans Serif"),
                            QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
  SetApplicationTitle(QStringLiteral("Tessel!"));
  // The same names as the settings file's, so both always agree.
  QApplication::setApplicationName(QLatin1String(SettingsApplication));
  QApplication::setOrganizationName(QLatin1String(SettingsOrganisation));
}

bool TTesselApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportError(ErrorMessage(std::current_exception()));
    return false;
  }
}
