#pragma once
// The pages the window's preview opens in a browser, written beside an
// export made for the preview: the exported page at the design's width and
// at a phone's side by side, and the same once more with images blocked,
// as many mail readers start.

#include <string>

#include "app/export/htmltable.h"

// The phone's width of the preview, in CSS pixels.
inline constexpr int PreviewPhoneWidth = 375;

// The exported HTML (html) as a page of its own: a whole page as it is, a
// table in a page of the mode it is made for (classic without a doctype).
// With imagesOff the page's policy lets no image load, so that it shows
// what a reader that blocks images shows.
std::string PreviewViewPage(const std::string& html, TPageStyle style, bool wholePage, bool imagesOff);

// The preview page: view and imagesOff (the two pages of PreviewViewPage,
// by relative address) in frames at the design's width and at the
// phone's, for a design of width x height pixels on the page.
std::string PreviewPage(const std::string& title, const std::string& view, const std::string& imagesOff, int width,
                        int height);
