#pragma once
// Helpers shared by the JPEG and PNG tests.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "pgraphic/core/uihooks.h"

namespace codectest {

inline std::string TestName() { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }

// Records warning boxes and answers them; installed for its lifetime.
class TBoxRecorder : public TPGUiHooks {
 public:
  explicit TBoxRecorder(TPGMsgResult answer) : Answer(answer) { SetPGUiHooks(this); }
  ~TBoxRecorder() override { SetPGUiHooks(nullptr); }
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

// The message of the E that action raises, or "(nothing raised)".
template <class E>
std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const E& e) {
    return e.what();
  }
  return "(nothing raised)";
}

}  // namespace codectest
