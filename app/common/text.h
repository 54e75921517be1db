#pragma once
// Small text helpers that every layer of the workbench shares.

#include <string>

// Lower-cases the letters A to Z only: names in HTML and paths compared
// without regard to case must not depend on the user's locale.
std::string LowerAscii(std::string text);
