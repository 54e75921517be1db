#pragma once
// Small text helpers that every layer of the workbench shares.

#include <cstddef>
#include <string>

// Lower-cases the letters A to Z only: names in HTML and paths compared
// without regard to case must not depend on the user's locale.
std::string LowerAscii(std::string text);

// Text from a file (a line, a field, a name) as a message quotes it: every
// control byte (NUL, ESC, CR ...) shown as '?', so that the message is
// neither cut short nor able to steer a terminal, and at most `limit`
// bytes (never half a UTF-8 character), the rest as "...".
std::string QuotedInMessage(const std::string& text, std::size_t limit = 60);

// A message as a terminal shows it: control bytes other than the line
// break, the carriage return (the library's boxes break lines so) and the
// tab as '?'. For what reaches standard error from anywhere; text from
// files is quoted with QuotedInMessage, which leaves no CR either.
std::string TerminalSafe(std::string text);
