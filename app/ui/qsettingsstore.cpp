#include "app/ui/qsettingsstore.h"

#include <QFile>
#include <QSettings>
#include <QStringDecoder>
#include <QStringList>

namespace {

std::unique_ptr<QSettings> OpenUserSettings() {
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                     QString::fromLatin1(SettingsOrganisation),
                                     QString::fromLatin1(SettingsApplication));
}

QString KeyOf(const std::string& group, const std::string& name) {
  QString key = QString::fromStdString(group);
  key.replace(QLatin1Char('\\'), QLatin1Char('/'));
  return key + QLatin1Char('/') + QString::fromStdString(name);
}

// QSettings reads almost anything as some key or other; a file counts as a
// settings file only when it is UTF-8 text of sections, comments and values.
bool LooksLikeSettings(const QString& fileName) {
  QFile file(fileName);
  if (!file.exists() || !file.open(QIODevice::ReadOnly)) return true;  // nothing, or the status says it
  const QByteArray bytes = file.readAll();
  QStringDecoder utf8(QStringDecoder::Utf8);
  const QString text = utf8(bytes);
  if (utf8.hasError()) return false;
  for (const QString& line : text.split(QLatin1Char('\n'))) {
    const QString entry = line.trimmed();
    for (const QChar c : entry)
      if (c.category() == QChar::Other_Control && c != QLatin1Char('\t')) return false;
    const bool ok = entry.isEmpty() || entry.startsWith(QLatin1Char(';')) ||
                    entry.startsWith(QLatin1Char('#')) ||
                    (entry.startsWith(QLatin1Char('[')) && entry.endsWith(QLatin1Char(']'))) ||
                    entry.contains(QLatin1Char('='));
    if (!ok) return false;
  }
  return true;
}

}  // namespace

TQSettingsStore::TQSettingsStore(std::string keyPath)
    : TSettingsStore(std::move(keyPath)), FSettings(OpenUserSettings()) {}

TQSettingsStore::~TQSettingsStore() = default;

QString TQSettingsStore::FileName() const { return FSettings->fileName(); }

void TQSettingsStore::CheckReadable() {
  const QString file = FileName();
  QSettings::Status status = FSettings->status();
  if (status == QSettings::NoError && !LooksLikeSettings(file)) status = QSettings::FormatError;
  switch (status) {
    case QSettings::NoError:
      return;
    case QSettings::AccessError:
      throw ESettingsError("The settings file " + file.toStdString() +
                           " cannot be read; Tessel starts with its defaults.");
    case QSettings::FormatError: {
      // A QSettings that met a damaged file never writes it again; the file
      // goes aside and a fresh object starts from nothing.
      const QString kept = file + QStringLiteral(".damaged");
      FSettings.reset();
      QFile::remove(kept);
      const bool moved = QFile::rename(file, kept);
      FSettings = OpenUserSettings();
      throw ESettingsError("The settings file " + file.toStdString() + " is damaged" +
                           (moved ? "; it was kept as " + kept.toStdString() : std::string()) +
                           ". Tessel starts with its defaults.");
    }
  }
}

void TQSettingsStore::Flush() {
  FSettings->sync();
  if (FSettings->status() != QSettings::NoError)
    throw ESettingsError("The settings file " + FileName().toStdString() +
                         " cannot be written; the settings of this session are not kept.");
}

std::optional<std::string> TQSettingsStore::DoRead(const std::string& group,
                                                   const std::string& name) {
  const QVariant value = FSettings->value(KeyOf(group, name));
  if (!value.isValid()) return std::nullopt;
  // A hand-edited value with unquoted commas reads as a list.
  if (value.typeId() == QMetaType::QStringList)
    return value.toStringList().join(QLatin1Char(',')).toStdString();
  return value.toString().toStdString();
}

void TQSettingsStore::DoWrite(const std::string& group, const std::string& name,
                              const std::string& value) {
  FSettings->setValue(KeyOf(group, name), QString::fromStdString(value));
}

void TQSettingsStore::DoDelete(const std::string& group, const std::string& name) {
  FSettings->remove(KeyOf(group, name));
}
