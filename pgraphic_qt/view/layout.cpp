#include "pgraphic_qt/view/layout.h"

#include <algorithm>
#include <cfenv>
#include <climits>
#include <cmath>

namespace {

int Clamp32(long double v) {
  if (!(v > INT_MIN)) return INT_MIN;  // also NaN
  if (v >= INT_MAX) return INT_MAX;
  return int(v);
}

int Clamp32(std::int64_t v) {
  return int(std::clamp<std::int64_t>(v, INT_MIN, INT_MAX));
}

int Trunc(long double v) { return Clamp32(std::trunc(v)); }

// Half to even, whatever the caller's rounding mode.
int RoundHalfEven(long double v) {
  const int mode = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const long double r = std::nearbyint(v);
  std::fesetround(mode);
  return Clamp32(r);
}

struct TRule {
  int W, H;  // image size
  int Wa, Ha;
  int v, h;
  long double ra, ri;
  TPGLayoutSize out;

  void Fit() {
    if (ra >= ri) {
      out.Height = Ha;
      out.Width = Trunc(Ha * ri);
      out.Zoom = (long double)Ha / H;
    } else {
      out.Width = Wa;
      out.Height = Trunc(Wa / ri);
      out.Zoom = (long double)Wa / W;
    }
  }

  void FillEdge() {
    Fit();
    if (out.Width >= Wa - v && out.Height >= Ha - h) return;
    if (ri < ra) {
      out.Width = Wa - v;
      out.Height = Trunc(out.Width / ri);
      out.Zoom = (long double)out.Width / W;
    } else {
      out.Height = Ha - h;
      out.Width = Trunc(out.Height * ri);
      out.Zoom = (long double)out.Height / H;
    }
  }

  void ShrinkLongerEdge() {
    const bool fits = (Wa >= W || Ha - h >= H) && (Wa - v >= W || Ha >= H);
    if (!fits) FillEdge();
  }
};

}  // namespace

TPGLayoutSize PGStretchLayout(TStretch stretch, int imageW, int imageH, int availW, int availH,
                              int vBar, int hBar, long double zoomFactor) {
  TRule r{imageW, imageH, availW, availH, vBar, hBar, 0, 0, {imageW, imageH, 1.0L}};
  if (imageW <= 0 || imageH <= 0 || availW <= 0 || availH <= 0) return r.out;
  r.ra = (long double)availW / availH;
  r.ri = (long double)imageW / imageH;
  TPGLayoutSize& o = r.out;
  switch (stretch) {
    case sNeverKAR: break;
    case sAlways:
      o = {availW, availH, -1.0L};
      break;
    case sAlwaysKAR: r.Fit(); break;
    case sShrink:
      if (availW < o.Width) o.Width = availW, o.Zoom = -1.0L;
      if (availH < o.Height) o.Height = availH, o.Zoom = -1.0L;
      break;
    case sShrinkKAR:
      if (!(availW >= imageW && availH >= imageH)) r.Fit();
      break;
    case sEnlarge: {
      const int c = availH - (availW < imageW ? hBar : 0);
      const int d = availW - (availH < imageH ? vBar : 0);
      if (o.Width < d) o.Width = d, o.Zoom = -1.0L;
      if (o.Height < c) o.Height = c, o.Zoom = -1.0L;
      break;
    }
    case sEnlargeKAR:
      if (imageW < availW && imageH < availH) r.Fit();
      break;
    case sAlwaysLongerEdgeKAR: r.FillEdge(); break;
    case sShrinkLongerEdgeKAR: r.ShrinkLongerEdge(); break;
    case sEnlargeShrinkLongerEdgeKAR:
      if (imageW < availW && imageH < availH)
        r.Fit();
      else
        r.ShrinkLongerEdge();
      break;
    case sEnlargeLongerEdgeKAR:
      if (imageW < availW || imageH < availH) r.FillEdge();
      break;
    case sZoomKAR:
      if (zoomFactor > 0) o.Zoom = zoomFactor;
      o.Width = RoundHalfEven(imageW * o.Zoom);
      o.Height = RoundHalfEven(imageH * o.Zoom);
      break;
  }
  return o;
}

TPGCenterOffset PGCenterOffset(int picW, int picH, int availW, int availH, int vBar, int hBar) {
  TPGCenterOffset o;
  int c = availH, d = availW;
  for (int pass = 0; pass < 2; ++pass) {
    if (d < picW && !o.HorzBar) c -= hBar, o.HorzBar = true;
    if (c < picH && !o.VertBar) d -= vBar, o.VertBar = true;
  }
  if (picH < c) o.Top = (c - picH) / 2;
  if (picW < d) o.Left = (d - picW) / 2;
  return o;
}

TPGAutoSize PGAutoSize(int imageW, int imageH, int border, int minW, int maxW, int minH,
                       int maxH, int vBar, int hBar) {
  std::int64_t w = std::int64_t(imageW) + 2 * std::int64_t(border);
  std::int64_t h = std::int64_t(imageH) + 2 * std::int64_t(border);
  bool horz = false, vert = false;
  for (int pass = 0; pass < 2; ++pass) {
    if (maxW < w && !horz) h += hBar, horz = true;
    if (maxH < h && !vert) w += vBar, vert = true;
  }
  return {Clamp32(std::max<std::int64_t>(std::min<std::int64_t>(w, maxW), minW)),
          Clamp32(std::max<std::int64_t>(std::min<std::int64_t>(h, maxH), minH))};
}

int PGScaleTruncated(int value, int num, int den) {
  if (den <= 0) return 0;
  return Clamp32(std::int64_t(value) * num / den);
}
