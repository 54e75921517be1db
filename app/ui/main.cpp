// tessel: the desktop program. `tessel [IMAGE]` opens the image at start.
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <memory>

#include "app/ui/aboutbox.h"
#include "app/ui/dialogs.h"
#include "app/ui/errorreport.h"
#include "app/ui/exportdialogs.h"
#include "app/ui/mainwindow.h"

#ifndef TESSEL_VERSION
#define TESSEL_VERSION "unknown"
#endif

namespace {

void PrintUsage(std::FILE* out) {
  std::fputs(
      "usage: tessel [IMAGE]\n"
      "       tessel --help | --version\n"
      "\n"
      "Cuts one image into rectangular slices for a web page: place split lines\n"
      "over the image, export, and every cell becomes an image file of its own\n"
      "while an HTML table puts them back together.\n"
      "\n"
      "  IMAGE       an image to open at start (BMP, DIB, RLE, JPEG, PNG, PCX,\n"
      "              PBM, PGM, PPM, TGA, TIFF or WebP)\n"
      "  --help      show this text\n"
      "  --version   show the version\n"
      "\n"
      "Qt's own options (for example -platform offscreen) are accepted as well.\n",
      out);
}

// Answers --help and --version before a display is needed. -1 means go on.
int EarlyAnswer(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintUsage(stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("tessel %s\n", TESSEL_VERSION);
      return 0;
    }
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (const int answer = EarlyAnswer(argc, argv); answer >= 0) return answer;

  TTesselApplication application(argc, argv);
  // What Qt did not take for itself is ours: at most one image.
  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  for (const QString& argument : arguments)
    if (argument.startsWith(QLatin1Char('-'))) {
      std::fprintf(stderr, "tessel: unknown option %s\n", qPrintable(argument));
      PrintUsage(stderr);
      return 2;
    }
  if (arguments.size() > 1) {
    std::fputs("tessel: give at most one image\n", stderr);
    PrintUsage(stderr);
    return 2;
  }

  PrepareTesselApplication();
  // The forms in the order the program has always made them; they live until
  // the end.
  TQtMainWindowDialogs dialogs;
  TForm1 Form1(dialogs);
  TAboutBox AboutBox(&Form1);
  Texportdialog exportdialog(&Form1);
  Taddtagsdialog addtagsdialog(&Form1);
  Tdlg_code dlg_code(&Form1);
  dialogs.SetAboutBox(&AboutBox);
  Form1.SetExportDialogs(exportdialog, addtagsdialog, dlg_code);

  Form1.show();
  if (!arguments.isEmpty()) {
    const QString image = QFileInfo(arguments.constFirst()).absoluteFilePath();
    RunReported([&] { Form1.OpenImage(image); });
  }
  return application.exec();
}
