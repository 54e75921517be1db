#pragma once
// Opens a document or a web address with whatever the desktop associates
// with it, the way a user's double click would.

#include <QString>

// target is either an address with a scheme ("https://...", "mailto:...") or
// a file path, relative paths meaning the current directory. False when the
// desktop could not hand it to any viewer (callers may show it themselves).
bool ShellOpen(const QString& target);
