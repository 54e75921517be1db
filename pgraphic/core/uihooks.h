#pragma once
// The library's only way to reach the user: a message box hook that the
// platform layer fills. Without a UI, boxes are answered so that nothing
// happens without consent: an OK box is acknowledged, an OK/Cancel question
// is answered Cancel.

#include <string>

enum class TPGMsgButtons { mbOK, mbOKCancel };
enum class TPGMsgResult { mrOK, mrCancel };

class TPGUiHooks {
 public:
  virtual ~TPGUiHooks() = default;
  // A warning box with the given caption and buttons; returns the answer.
  virtual TPGMsgResult WarningBox(const std::string& text, const std::string& caption,
                                  TPGMsgButtons buttons) = 0;
};

// Installs hooks (not owned); null restores the headless behaviour.
void SetPGUiHooks(TPGUiHooks* hooks);
TPGUiHooks* GetPGUiHooks();
// Shows a warning box through the hooks, titled with message 28 ("Warning")
// unless a caption is given (formats use their own, such as "TIFF-Warning").
TPGMsgResult PGWarningBox(const std::string& text, TPGMsgButtons buttons,
                          const std::string& caption = std::string());
