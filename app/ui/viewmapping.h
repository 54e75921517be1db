#pragma once
// Image pixels and the Source view's pixels, apart from any widget: where a
// mouse position falls in the image at any zoom and display scale, where a
// split line is drawn, the zoom steps, and the ruler's tick spacing.
//
// A split line at position p lies between image pixels p-1 and p; it is
// drawn on the first view pixel that shows image pixel p, and the mouse over
// image pixel p places a line at p, so that what the status line says, where
// a click puts a line and where the line shows agree at every zoom.

#include <cstdint>

// One axis of the view: view coordinate = Origin + image coordinate * Box /
// Image, where Origin is the picture box's place in the viewport and Box its
// size (the image's size times the zoom, rounded).
struct TViewAxis {
  int Origin = 0;
  int Image = 0;
  int Box = 0;
};

// The image pixel under a view coordinate. Mouse positions are logical
// pixels and carry fractions on scaled displays (device pixel 601 at scale
// 2 is 300.5); the pixel is the one that contains the position, never the
// one it rounds to. 0 for an empty image.
int PixelUnder(const TViewAxis& axis, double viewPosition);

// The view pixel (column or row) on which the line at position p is drawn.
int LineAt(const TViewAxis& axis, std::int64_t position);

// The view pixel on which the line at `position` is shown: LineAt, but
// the image's first edge (position 0 and before) goes on the pixel before
// the image, so that no line covers its first row or column.
int ShownLineAt(const TViewAxis& axis, std::int64_t position);

// The zoom factors the View menu, the keys and the wheel step through.
inline constexpr long double MinZoom = 1.0L / 16;
inline constexpr long double MaxZoom = 32.0L;
// The next step up (steps > 0) or down from zoom, as many steps as asked,
// within MinZoom..MaxZoom. A zoom between steps goes to the neighbour step.
long double ZoomStep(long double zoom, int steps);
// The largest zoom that shows an image of imageWidth x imageHeight whole in
// an area of areaWidth x areaHeight (as the view rounds the picture box's
// size), within MinZoom..MaxZoom; 1 when either is empty.
long double FitZoom(int imageWidth, int imageHeight, int areaWidth, int areaHeight);

// Ruler ticks in image pixels: a tick every Minor pixels, a long tick with
// a label every Major pixels (round numbers, at least 50 view pixels
// apart; 5 and 50 at zoom 1).
struct TRulerScale {
  int Minor = 5;
  int Major = 50;
};
TRulerScale RulerScaleFor(double viewPixelsPerImagePixel);
