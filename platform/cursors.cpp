#include "platform/cursors.h"

#include <QBitmap>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>

#include <array>
#include <map>

namespace {

constexpr int kSide = 32;

// A monochrome cursor picture: each pixel black, white or transparent.
struct TMonoPicture {
  std::array<std::array<char, kSide>, kSide> Pixels{};  // '#', '.' or ' '
  TMonoPicture() {
    for (auto& row : Pixels) row.fill(' ');
  }
  void Black(int x, int y) {
    if (x >= 0 && y >= 0 && x < kSide && y < kSide) Pixels[y][x] = '#';
  }
  // Copies a drawing of rows at (x0, y0).
  void Paste(int x0, int y0, std::initializer_list<const char*> rows) {
    int y = y0;
    for (const char* row : rows) {
      for (int x = 0; row[x]; ++x)
        if (row[x] != ' ' && x0 + x < kSide && y < kSide) Pixels[y][x0 + x] = row[x];
      ++y;
    }
  }
  // Puts a white rim around every black pixel, so the shape shows on any ground.
  void Outline() {
    auto copy = Pixels;
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x) {
        if (copy[y][x] != ' ') continue;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            const int nx = x + dx, ny = y + dy;
            if (nx >= 0 && ny >= 0 && nx < kSide && ny < kSide && copy[ny][nx] == '#')
              Pixels[y][x] = '.';
          }
      }
  }
  QCursor Make(QPoint hot) const {
    QImage shape(kSide, kSide, QImage::Format_MonoLSB), mask(kSide, kSide, QImage::Format_MonoLSB);
    // Bit 1 is Qt::color1 (black in the shape, opaque in the mask).
    const QList<QRgb> table{QColor(Qt::color0).rgb(), QColor(Qt::color1).rgb()};
    shape.setColorTable(table);
    mask.setColorTable(table);
    shape.fill(0);
    mask.fill(0);
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x) {
        if (Pixels[y][x] == '#') shape.setPixel(x, y, 1);
        if (Pixels[y][x] != ' ') mask.setPixel(x, y, 1);
      }
    return QCursor(QBitmap::fromImage(shape), QBitmap::fromImage(mask), hot.x(), hot.y());
  }
};

TMonoPicture OpenHand() {
  TMonoPicture p;
  p.Paste(8, 4, {"       ##       ",
                 "   ## #..###    ",
                 "  #..##..#..#   ",
                 "  #..##..#..# # ",
                 "   #..#..#..##.#",
                 "   #..#..#..#..#",
                 " ## #.......#..#",
                 "#..##..........#",
                 "#...#.........# ",
                 " #............# ",
                 "  #...........# ",
                 "  #..........#  ",
                 "   #.........#  ",
                 "    #.......#   ",
                 "     #......#   ",
                 "     #......#   ",
                 "     ########   "});
  return p;
}

TMonoPicture ClosedHand() {
  TMonoPicture p;
  p.Paste(8, 6, {"    ## ## ##    ",
                 "   #..#..#..##  ",
                 "   #.........#.#",
                 "    #..........#",
                 "   ##..........#",
                 "  #.#..........#",
                 "  #............#",
                 "  #...........# ",
                 "   #..........# ",
                 "    #.........# ",
                 "     #.......#  ",
                 "      #......#  ",
                 "      #......#  ",
                 "      ########  "});
  return p;
}

// A cross of one-pixel lines through the hot spot, with a dotted square that
// says "selection".
TMonoPicture SelectionCross() {
  TMonoPicture p;
  for (int i = 4; i <= 26; ++i) {
    p.Black(15, i);
    p.Black(i, 15);
  }
  for (int i = 20; i <= 28; i += 2) {
    p.Black(i, 20);
    p.Black(i, 28);
    p.Black(20, i);
    p.Black(28, i);
  }
  p.Outline();
  return p;
}

// Arrows to the four sides from the hot spot.
TMonoPicture FourArrows() {
  TMonoPicture p;
  const int cx = 16, cy = 15;
  for (int i = -9; i <= 9; ++i) {
    p.Black(cx + i, cy);
    p.Black(cx, cy + i);
  }
  for (int k = 0; k <= 3; ++k)
    for (int j = -k; j <= k; ++j) {
      p.Black(cx - 10 + k, cy + j);
      p.Black(cx + 10 - k, cy + j);
      p.Black(cx + j, cy - 10 + k);
      p.Black(cx + j, cy + 10 - k);
    }
  p.Outline();
  return p;
}

}  // namespace

QPoint PGCursorHotSpot(TPGCursor cursor) {
  switch (cursor) {
    case TPGCursor::crPan:
    case TPGCursor::crPanning: return {16, 12};
    case TPGCursor::crCreateSelection: return {15, 15};
    case TPGCursor::crMoveSelection: return {16, 15};
    default: return {0, 0};
  }
}

QCursor PGCursor(TPGCursor cursor) {
  switch (cursor) {
    case TPGCursor::crDefault:
    case TPGCursor::crArrow: return QCursor(Qt::ArrowCursor);
    case TPGCursor::crHourGlass: return QCursor(Qt::WaitCursor);
    case TPGCursor::crCross: return QCursor(Qt::CrossCursor);
    case TPGCursor::crSizeNWSE: return QCursor(Qt::SizeFDiagCursor);
    case TPGCursor::crSizeNESW: return QCursor(Qt::SizeBDiagCursor);
    case TPGCursor::crSizeNS: return QCursor(Qt::SizeVerCursor);
    case TPGCursor::crSizeWE: return QCursor(Qt::SizeHorCursor);
    default: break;
  }
  // The bitmaps are made once and go with the application (a bitmap must not
  // outlive the window system connection); QCursor shares them on copy.
  static std::map<TPGCursor, QCursor> made;
  if (made.empty()) qAddPostRoutine([] { made.clear(); });
  auto it = made.find(cursor);
  if (it == made.end()) {
    TMonoPicture picture = cursor == TPGCursor::crPan        ? OpenHand()
                           : cursor == TPGCursor::crPanning  ? ClosedHand()
                           : cursor == TPGCursor::crMoveSelection ? FourArrows()
                                                              : SelectionCross();
    it = made.emplace(cursor, picture.Make(PGCursorHotSpot(cursor))).first;
  }
  return it->second;
}

bool PGScreenCursorIsDefault() { return QGuiApplication::overrideCursor() == nullptr; }

Qt::CursorShape PGScreenCursorShape() {
  const QCursor* cursor = QGuiApplication::overrideCursor();
  return cursor ? cursor->shape() : Qt::ArrowCursor;
}

void PGSetScreenCursor(TPGCursor cursor) {
  if (cursor == TPGCursor::crDefault) {
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
  } else if (QGuiApplication::overrideCursor()) {
    QGuiApplication::changeOverrideCursor(PGCursor(cursor));
  } else {
    QGuiApplication::setOverrideCursor(PGCursor(cursor));
  }
}

TPGScreenCursorGuard::TPGScreenCursorGuard(const QCursor& cursor) {
  QGuiApplication::setOverrideCursor(cursor);
}

TPGScreenCursorGuard::~TPGScreenCursorGuard() { QGuiApplication::restoreOverrideCursor(); }
