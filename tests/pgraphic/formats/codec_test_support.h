#pragma once
// Helpers shared by the JPEG and PNG tests.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "pgraphic/core/uihooks.h"
#include "support/box_recorder.h"

namespace codectest {

inline std::string TestName() { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }

using ::TBoxRecorder;

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
