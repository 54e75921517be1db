#pragma once
// The view's geometry rules, apart from any widget: how large the picture box
// is for a sizing rule, where it sits when centred, the size auto-size asks
// for, and the integer mappings between image and picture-box pixels.

#include <cstdint>

enum TStretch : std::uint8_t {
  sNeverKAR,
  sAlways,
  sAlwaysKAR,
  sShrink,
  sShrinkKAR,
  sEnlarge,
  sEnlargeKAR,
  sAlwaysLongerEdgeKAR,
  sShrinkLongerEdgeKAR,
  sEnlargeShrinkLongerEdgeKAR,
  sEnlargeLongerEdgeKAR,
  sZoomKAR,
};

struct TPGLayoutSize {
  int Width = 0;
  int Height = 0;
  // -1.0 when the axes were scaled differently.
  long double Zoom = 1.0L;
};

// Picture-box size for an image of imageW x imageH in an available area of
// availW x availH; vBar and hBar are the scroll bar thicknesses. Degenerate
// sizes keep the image size at zoom 1.
TPGLayoutSize PGStretchLayout(TStretch stretch, int imageW, int imageH, int availW, int availH,
                              int vBar, int hBar, long double zoomFactor);

struct TPGCenterOffset {
  int Left = 0;
  int Top = 0;
  // Whether a horizontal or vertical scroll bar was counted.
  bool HorzBar = false;
  bool VertBar = false;
};

TPGCenterOffset PGCenterOffset(int picW, int picH, int availW, int availH, int vBar, int hBar);

struct TPGAutoSize {
  int Width = 0;
  int Height = 0;
};

// The control size that shows the whole image: its size plus the border on
// both sides plus the scroll bars the bounds force; the minimum wins over the
// maximum.
TPGAutoSize PGAutoSize(int imageW, int imageH, int border, int minW, int maxW, int minH,
                       int maxH, int vBar, int hBar);

// value * num div den, truncated toward zero; 0 when den <= 0. Computed in 64
// bits and clamped into 32 bits.
int PGScaleTruncated(int value, int num, int den);
