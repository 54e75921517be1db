#pragma once
// Answers every library warning box as told and remembers what it was shown;
// installed as the UI hook for its lifetime.

#include <string>
#include <vector>

#include "pgraphic/core/uihooks.h"

class TBoxRecorder : public TPGUiHooks {
 public:
  explicit TBoxRecorder(TPGMsgResult answer) : Answer(answer) { SetPGUiHooks(this); }
  ~TBoxRecorder() override { SetPGUiHooks(nullptr); }
  TBoxRecorder(const TBoxRecorder&) = delete;
  TBoxRecorder& operator=(const TBoxRecorder&) = delete;
  TPGMsgResult WarningBox(const std::string& text, const std::string& caption,
                          TPGMsgButtons buttons) override {
    Texts.push_back(text);
    Captions.push_back(caption);
    Buttons.push_back(buttons);
    return Answer;
  }
  TPGMsgResult Answer;
  std::vector<std::string> Texts, Captions;
  std::vector<TPGMsgButtons> Buttons;
};
