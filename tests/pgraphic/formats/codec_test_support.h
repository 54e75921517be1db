#pragma once
// Helpers shared by the JPEG and PNG tests.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pgraphic/core/uihooks.h"
#include "support/box_recorder.h"
#include "support/raised.h"

namespace codectest {

inline std::string TestName() { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }

using ::TBoxRecorder;

using support::MessageOf;

}  // namespace codectest
