#pragma once
// The application-wide error report: the one place that tells the user why a
// command failed. Commands do not handle errors themselves; whatever a command
// raises ends it, leaving what was done before, and its message is shown here
// while the program runs on.

#include <QApplication>
#include <QString>

#include <exception>
#include <functional>

// Shows a message in the report's box (or hands it to the installed sink).
void ReportError(const QString& message);
// The message of an exception caught as `error`.
QString ErrorMessage(const std::exception_ptr& error);

// Receives the report's messages instead of a message box (tests, batch use);
// an empty sink restores the box.
using TErrorSink = std::function<void(const QString& message)>;
void SetErrorSink(TErrorSink sink);

// Runs a command; an exception it raises goes to the report. True when the
// command ran to its end.
bool RunReported(const std::function<void()>& command);

// The application's title: the caption of the report's boxes, "Tessel!" or
// "Tessel! - [" + image + "]" once an image is open.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

// Everything the desktop program sets up once its QApplication exists: the
// image library on the platform layer, the font substitutes and the title.
void PrepareTesselApplication();

// The program's application object: an exception that escapes an event
// handler is shown by the report instead of ending the program.
class TTesselApplication : public QApplication {
 public:
  TTesselApplication(int& argc, char** argv) : QApplication(argc, argv) {}
  bool notify(QObject* receiver, QEvent* event) override;
};
