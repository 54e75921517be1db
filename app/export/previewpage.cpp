#include "app/export/previewpage.h"

#include <algorithm>

namespace {

// A policy that lets no image load: the page as a reader that blocks them shows it.
const char* const NoImages = "<meta http-equiv=\"Content-Security-Policy\" content=\"img-src 'none'\">";

std::string Frame(const std::string& caption, const std::string& page, int width, int height) {
  return "<figure style=\"margin:0 24px 24px 0\"><figcaption>" + EscapeAttribute(caption) +
         "</figcaption><iframe src=\"" + EscapeAttribute(UrlEncodeFileName(page)) + "\" width=\"" +
         std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" title=\"" + EscapeAttribute(caption) +
         "\" style=\"border:1px solid #888;background:#fff\"></iframe></figure>";
}

}  // namespace

std::string PreviewViewPage(const std::string& html, TPageStyle style, bool wholePage, bool imagesOff) {
  if (wholePage) {
    if (!imagesOff) return html;
    std::string page = html;
    const std::size_t head = page.find("<head>");
    if (head != std::string::npos) page.insert(head + 6, NoImages);
    return page;
  }
  return std::string(style == TPageStyle::Classic ? "" : "<!DOCTYPE html>\r\n") +
         "<html><head><meta charset=\"utf-8\">" + (imagesOff ? NoImages : "") +
         "</head><body style=\"margin:0\">\r\n" + html + "</body></html>\r\n";
}

std::string PreviewPage(const std::string& title, const std::string& view, const std::string& imagesOff, int width,
                        int height) {
  // A page narrower than its table shows it cut off, as the phone would.
  const int frameHeight = std::max(height, 1) + 16;
  std::string page = "<!DOCTYPE html>\r\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Preview: " +
                     EscapeAttribute(title) +
                     "</title></head>\r\n<body style=\"margin:16px;font-family:sans-serif;background:#e8e8e8\">\r\n";
  for (const auto& [heading, file] : {std::pair{"With images", view}, std::pair{"Images off", imagesOff}}) {
    page += "<h2>" + std::string(heading) + "</h2>\r\n<div style=\"display:flex;align-items:flex-start\">" +
            Frame(std::to_string(width) + " px, the design's width", file, width, frameHeight) +
            Frame(std::to_string(PreviewPhoneWidth) + " px, a phone", file, PreviewPhoneWidth, frameHeight) +
            "</div>\r\n";
  }
  return page + "</body></html>\r\n";
}
