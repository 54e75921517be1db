#pragma once
// Text to integer conversion with the platform's error wording, shared by
// grid files, the Add Splitline dialog and the command line.

#include <cstdint>
#include <stdexcept>
#include <string>

class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Accepts leading blanks, an optional sign and decimal digits within the
// 32-bit range; anything else raises EConvertError with
// "'" + text + "' is not a valid integer value".
std::int32_t StrToInt(const std::string& text);

// StrToInt for line `line` of a file: a conversion error names the file and
// the line ("NAME, line N: ..."), unless sourceName is empty.
std::int32_t StrToIntOnLine(const std::string& text, const std::string& sourceName, int line);
