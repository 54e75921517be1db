#include "platform/messagebox.h"

#include <QApplication>
#include <QMessageBox>

TPGMsgResult TQtUiHooks::WarningBox(const std::string& text, const std::string& caption,
                                    TPGMsgButtons buttons) {
  const bool withCancel = buttons == TPGMsgButtons::mbOKCancel;
  QMessageBox box(QMessageBox::Warning, QString::fromStdString(caption),
                  QString::fromStdString(text),
                  withCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                  QApplication::activeWindow());
  box.setDefaultButton(QMessageBox::Ok);
  if (withCancel) box.setEscapeButton(QMessageBox::Cancel);
  return box.exec() == QMessageBox::Ok ? TPGMsgResult::mrOK : TPGMsgResult::mrCancel;
}
