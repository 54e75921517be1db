#pragma once
// The library's warning boxes shown as QMessageBox.

#include "pgraphic/core/uihooks.h"

class TQtUiHooks : public TPGUiHooks {
 public:
  TPGMsgResult WarningBox(const std::string& text, const std::string& caption,
                          TPGMsgButtons buttons) override;
};
