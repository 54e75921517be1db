#pragma once
// Where the Help commands lead: the web pages and the user guide. The web
// addresses sit in the reserved example domain until the project has a site.

#include <QString>

inline constexpr const char* AuthorSiteUrl = "https://www.example.org/tessel/";
inline constexpr const char* DonatePageUrl = "https://www.example.org/tessel/donate";
inline constexpr const char* UserGuideName = "readme.txt";

// The user guide: beside the program, in the installed data directory, or
// else in the current directory (a desktop launcher's is arbitrary, hence the
// others first). Returns the path to hand to the desktop; when no guide is
// found anywhere, the bare name, so the desktop reports it missing.
QString FindUserGuide();
