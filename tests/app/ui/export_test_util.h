#pragma once
// Helpers of the export tests: the files of a folder, tessel-cli's slice
// command to compare with, and export options set when the dialog shows.

#include <QDir>
#include <QProcess>

#include <functional>
#include <map>

#include "app/ui/exportdialogs.h"
#include "ui_test_util.h"

// Every file of a directory with its bytes.
inline std::map<QString, QByteArray> DirectoryFiles(const QString& dir) {
  std::map<QString, QByteArray> files;
  for (const QString& name : QDir(dir).entryList(QDir::Files | QDir::Hidden))
    files[name] = FileBytes(QDir(dir).filePath(name));
  return files;
}

// tessel-cli slice with the given arguments after IMAGE HTML; its exit code.
inline int CliSlice(const QString& image, const QString& html, const QStringList& more) {
  QProcess cli;
  cli.start(QStringLiteral(TESSEL_CLI_PATH), QStringList{QStringLiteral("slice"), image, html} + more);
  if (!cli.waitForFinished(60000)) return -1;
  return cli.exitCode();
}

inline QString MakeDir(const QTemporaryDir& root, const QString& name) {
  QDir(root.path()).mkpath(name);
  return root.filePath(name);
}

// The options dialog, when shown, gets these states.
inline std::function<void(QDialog&)> SetOptions(const TExportOptions& options) {
  return [options](QDialog& dialog) {
    if (auto* d = qobject_cast<Texportdialog*>(&dialog)) d->SetOptions(options);
  };
}
