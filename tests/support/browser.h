#pragma once
// Headless Chromium for tests: pages are rendered and screenshot, so that an
// exported page can be compared pixel by pixel with the same browser's
// rendering of its source image. What a browser adds on the way (colour
// management, scaling, layout quirks) then shows as a difference.
//
// Typical use, after an export to dir/index.html of a W x H source.png:
//   const browser::TDifference d =
//       browser::CompareWithSource(dir / "index.html", "source.png", W, H, browser::TMode::Standards);
//   EXPECT_LE(d.Max, 3) << d.Describe();

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "support/file_contents.h"
#include "support/peer.h"

namespace browser {

namespace fs = std::filesystem;

inline const char* const kChromium = "/usr/bin/chromium";

inline bool Available() { return ::access(kChromium, X_OK) == 0; }

// The page around a fragment: without a doctype the browser lays it out in
// quirks mode, with <!DOCTYPE html> in standards mode.
enum class TMode { Quirks, Standards };

inline const char* ModeName(TMode mode) { return mode == TMode::Quirks ? "quirks" : "standards"; }

// The pages' background: magenta, which the test images never hold, so
// that every pixel of it in a screenshot is a place the images left open.
inline constexpr std::uint8_t kBackground[3] = {255, 0, 255};

// The window, in CSS pixels, and the device pixels per CSS pixel: the
// screenshot is Width * Scale x Height * Scale.
struct TView {
  int Width = 0;
  int Height = 0;
  int Scale = 1;
};

// A file URL, every byte outside a few safe ones percent-encoded.
inline std::string FileUrl(const fs::path& path) {
  static const char* const hex = "0123456789ABCDEF";
  std::string url = "file://";
  for (const char ch : fs::absolute(path).string()) {
    const auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) || ch == '/' || ch == '.' || ch == '-' || ch == '_' || ch == '~') {
      url += ch;
    } else {
      url += '%';
      url += hex[c >> 4];
      url += hex[c & 15];
    }
  }
  return url;
}

// A page whose body, without margin and on the background colour, holds
// content; containerWidth > 0 puts content in a block that wide.
inline std::string PageText(const std::string& content, TMode mode, int containerWidth = 0) {
  std::string page = mode == TMode::Standards ? "<!DOCTYPE html>\n" : "";
  page += "<html><head><meta charset=\"utf-8\"></head>\n<body style=\"margin:0;background:#ff00ff\">\n";
  if (containerWidth > 0) page += "<div style=\"width:" + std::to_string(containerWidth) + "px\">\n";
  page += content;
  if (containerWidth > 0) page += "</div>\n";
  return page + "</body></html>\n";
}

// Renders the page file in a fresh profile; the screenshot's pixels, or an
// empty image (and a test failure) when Chromium made none. Extra flags go
// to Chromium as they are.
inline peer::RgbImage Screenshot(const fs::path& page, const TView& view,
                                 const std::vector<std::string>& flags = {}) {
  const std::string dir = peer::PrivateDir("chromium");
  const std::string shot = dir + "/shot.png";
  std::string command = std::string("timeout 120 ") + kChromium + " --headless=new";
  if (::geteuid() == 0) command += " --no-sandbox";  // Chromium refuses to run as root otherwise
  command +=
      " --disable-gpu --no-first-run --disable-background-networking --disable-component-update"
      " --disable-sync --hide-scrollbars --user-data-dir='" + dir + "/profile'" +
      " --force-device-scale-factor=" + std::to_string(view.Scale) +
      " --window-size=" + std::to_string(view.Width) + "," + std::to_string(view.Height);
  for (const std::string& flag : flags) command += " " + flag;
  command += " --screenshot='" + shot + "' '" + FileUrl(page) + "'";
  peer::Run(command);
  if (!fs::exists(shot)) {
    ADD_FAILURE() << "Chromium made no screenshot of " << page;
    return {};
  }
  peer::RgbImage pixels = peer::DecodeWithMagick(shot);
  std::error_code ignored;
  fs::remove_all(dir, ignored);  // the profile takes megabytes
  return pixels;
}

using support::ReadText;

// tessel-cli slice IMAGE HTML ARGS...; its exit status.
inline int Slice(const fs::path& image, const fs::path& html, const std::vector<std::string>& args) {
  const auto quoted = [](const std::string& text) { return "'" + text + "'"; };
  std::string command = std::string(TESSEL_CLI_PATH) + " slice " + quoted(image) + " " + quoted(html);
  for (const std::string& arg : args) command += " " + quoted(arg);
  return peer::Run(command);
}

// A PNG without colour information, written by a peer (Pillow).
inline fs::path WritePng(const fs::path& path, const peer::RgbImage& pixels) {
  const fs::path ppm = path.string() + ".ppm";
  peer::WritePpm(ppm.string(), pixels);
  EXPECT_EQ(peer::Python("from PIL import Image\nImage.open('" + ppm.string() + "').save('" +
                         path.string() + "')\n"),
            0);
  fs::remove(ppm);
  return path;
}

// A smooth picture, so that the browser's scaling of the slices and of the
// whole picture differ by little where slices meet; no pixel near magenta
// (green never below 100).
inline peer::RgbImage Smooth(int width, int height) {
  peer::RgbImage img{width, height, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      img.Rgb.push_back(std::uint8_t(30 + 200 * x / width));
      img.Rgb.push_back(std::uint8_t(100 + 150 * y / height));
      img.Rgb.push_back(std::uint8_t(90 + 100 * (x + y) / (width + height)));
    }
  return img;
}

// With TESSEL_SCREENSHOTS set to a directory, the screenshot is left
// there under name, for the pictures of docs/page-styles.md.
inline void SaveForDocs(const peer::RgbImage& shot, const std::string& name) {
  const char* dir = std::getenv("TESSEL_SCREENSHOTS");
  if (!dir || !*dir || shot.Width == 0) return;
  WritePng(fs::path(dir) / name, shot);
}

// The rectangle [x0, x1) x [y0, y1) of image in its mean colour, rounded:
// a skipped cell as the page shows it.
inline void FillMean(peer::RgbImage& image, int x0, int y0, int x1, int y1) {
  std::int64_t sum[3] = {0, 0, 0};
  const std::int64_t count = std::int64_t(x1 - x0) * (y1 - y0);
  const auto at = [&](int x, int y, int k) -> std::uint8_t& {
    return image.Rgb[(std::size_t(y) * std::size_t(image.Width) + std::size_t(x)) * 3 + std::size_t(k)];
  };
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      for (int k = 0; k < 3; ++k) sum[k] += at(x, y, k);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      for (int k = 0; k < 3; ++k) at(x, y, k) = std::uint8_t((sum[k] + count / 2) / count);
}

inline bool IsBackground(const peer::RgbImage& shot, int x, int y) {
  const std::uint8_t* p = &shot.Rgb[(std::size_t(y) * std::size_t(shot.Width) + std::size_t(x)) * 3];
  return p[0] == kBackground[0] && p[1] == kBackground[1] && p[2] == kBackground[2];
}

// A page that holds the fragment an export wrote as html, in mode, written
// beside it (so that its relative addresses hold); its path.
inline fs::path FragmentPage(const fs::path& html, TMode mode, int containerWidth = 0) {
  const fs::path page = html.parent_path() / (html.stem().string() + "-view-" + ModeName(mode) + "-" +
                                              std::to_string(containerWidth) + ".htm");
  std::ofstream(page, std::ios::binary) << PageText(ReadText(html), mode, containerWidth);
  return page;
}

// A standards-mode page with the image file alone at its top left, drawn
// at width x height CSS pixels; its path.
inline fs::path ImagePage(const fs::path& image, int width, int height) {
  const fs::path page = fs::path(peer::PrivateDir("image-page")) / "image.htm";
  std::ofstream(page, std::ios::binary)
      << PageText("<img src=\"" + FileUrl(image) + "\" width=\"" + std::to_string(width) +
                      "\" height=\"" + std::to_string(height) + "\" style=\"display:block\">\n",
                  TMode::Standards);
  return page;
}

// One page and the view it is rendered in (the view's scale is the run's).
struct TFrame {
  fs::path Page;
  TView View;
};

// A part of a screenshot: width x height at (left, top).
inline peer::RgbImage Crop(const peer::RgbImage& image, int left, int top, int width, int height) {
  peer::RgbImage part{width, height, {}};
  if (left + width > image.Width || top + height > image.Height) return {};
  for (int y = top; y < top + height; ++y) {
    const auto row = image.Rgb.begin() + (std::ptrdiff_t(y) * image.Width + left) * 3;
    part.Rgb.insert(part.Rgb.end(), row, row + std::ptrdiff_t(width) * 3);
  }
  return part;
}

// Renders each page in a frame of its own view, in one run of the browser
// (a run costs a second or more; a frame little): one under the other, or
// in rows of `columns` frames; the screenshot of each, in order. Each
// frame's document is laid out as it would be in a window of its own, in
// its own mode.
inline std::vector<peer::RgbImage> RenderFrames(const std::vector<TFrame>& frames, int scale = 1,
                                                const std::vector<std::string>& flags = {}, int columns = 1) {
  const fs::path sheet = fs::path(peer::PrivateDir("frames")) / "frames.htm";
  int columnWidth = 0;
  for (const TFrame& frame : frames) columnWidth = std::max(columnWidth, frame.View.Width);
  std::string content;
  std::vector<std::pair<int, int>> places;
  int top = 0, rowHeight = 0;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const TFrame& frame = frames[i];
    if (i % std::size_t(columns) == 0) {
      top += rowHeight;
      rowHeight = 0;
    }
    const int left = int(i % std::size_t(columns)) * columnWidth;
    places.push_back({left, top});
    rowHeight = std::max(rowHeight, frame.View.Height);
    content += "<iframe src=\"" + FileUrl(frame.Page) + "\" width=\"" + std::to_string(frame.View.Width) +
               "\" height=\"" + std::to_string(frame.View.Height) +
               "\" scrolling=\"no\" style=\"position:absolute;left:" + std::to_string(left) +
               "px;top:" + std::to_string(top) + "px;border:0\"></iframe>\n";
  }
  std::ofstream(sheet, std::ios::binary) << PageText(content, TMode::Standards);
  const int width = columnWidth * std::min<int>(columns, int(frames.size()));
  const peer::RgbImage shot = Screenshot(sheet, {width, top + rowHeight, scale}, flags);
  std::vector<peer::RgbImage> shots;
  for (std::size_t i = 0; i < frames.size(); ++i)
    shots.push_back(Crop(shot, places[i].first * scale, places[i].second * scale, frames[i].View.Width * scale,
                         frames[i].View.Height * scale));
  return shots;
}

struct TDifference {
  int Max = 0;              // the largest difference of one channel; 256 when the sizes differ
  std::int64_t Pixels = 0;  // pixels with any difference
  int X = -1;               // where Max was met first
  int Y = -1;

  std::string Describe() const {
    if (Max > 255) return "the screenshots differ in size";
    return "max channel difference " + std::to_string(Max) + " at (" + std::to_string(X) + ", " +
           std::to_string(Y) + "), " + std::to_string(Pixels) + " pixels differ";
  }
};

inline TDifference Compare(const peer::RgbImage& a, const peer::RgbImage& b) {
  TDifference d;
  if (a.Width != b.Width || a.Height != b.Height || a.Rgb.size() != b.Rgb.size()) {
    d.Max = 256;
    return d;
  }
  for (std::size_t i = 0; i < a.Rgb.size(); i += 3) {
    int pixel = 0;
    for (std::size_t c = 0; c < 3; ++c) pixel = std::max(pixel, std::abs(int(a.Rgb[i + c]) - int(b.Rgb[i + c])));
    if (pixel == 0) continue;
    ++d.Pixels;
    if (pixel > d.Max) {
      d.Max = pixel;
      d.X = int(i / 3) % a.Width;
      d.Y = int(i / 3) / a.Width;
    }
  }
  return d;
}

// The view that shows a width x height picture with a margin of the
// background right of and below it, where a page too large would show.
inline TView ViewAround(int width, int height, int scale = 1) { return {width + 24, height + 24, scale}; }

// The page an export wrote as html against its width x height source
// image, both rendered by the browser in the same view: identical when the
// page puts the picture back together exactly.
inline TDifference CompareWithSource(const fs::path& html, const fs::path& source, int width, int height,
                                     TMode mode, int scale = 1) {
  const TView view = ViewAround(width, height, scale);
  const std::vector<peer::RgbImage> shots =
      RenderFrames({{FragmentPage(html, mode), view}, {ImagePage(source, width, height), view}}, scale);
  return Compare(shots[0], shots[1]);
}

}  // namespace browser
