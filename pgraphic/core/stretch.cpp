// Scaled copies. Each axis is resampled on its own with integer weights, so a
// destination pixel is a weighted sum of at most a few source pixels per axis
// and the result is exact and repeatable on every platform.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "pgraphic/core/alpha.h"
#include "pgraphic/core/pixelgraphic.h"

namespace {

using i64 = std::int64_t;

enum class TFilter { Point, Identity, Area, TwoTap };

// Source taps of one destination position on one axis. Kind 0 uses First
// only, kind 1 First and Last, kind 2 also every position between them with
// the axis's full weight.
struct TAxisEntry {
  int First = 0;
  int Last = 0;
  i64 WFirst = 0;
  i64 WLast = 0;
  int Kind = 0;
  bool Valid = false;
};

// One axis of a copy: source origin, source and destination sizes, and the
// number of positions the source image really has on this axis.
struct TAxis {
  TFilter Filter;
  i64 O;
  i64 S;
  i64 D;
  i64 Limit;

  i64 Divisor() const {
    if (Filter == TFilter::Area) return S;
    if (Filter == TFilter::TwoTap) return 2 * D;
    return 1;
  }
  i64 FullWeight() const { return D; }
};

TFilter ChooseFilter(TStretchMode mode, i64 s, i64 d) {
  if (s == d) return TFilter::Identity;
  const bool shrinking = d < s;
  switch (mode) {
    case smFast:
      return TFilter::Point;
    case smMedium:
      return shrinking ? TFilter::TwoTap : TFilter::Area;
    default:
      return shrinking ? TFilter::Area : TFilter::TwoTap;
  }
}

bool Inside(i64 pos, i64 limit) { return pos >= 0 && pos < limit; }

TAxisEntry SingleTap(i64 pos, i64 weight, i64 limit) {
  TAxisEntry e;
  e.Valid = Inside(pos, limit);
  if (e.Valid) e.First = e.Last = static_cast<int>(pos);
  e.WFirst = weight;
  return e;
}

// Stores both ends; an end outside the source makes the entry unusable.
TAxisEntry TwoEnds(TAxisEntry e, i64 first, i64 last, i64 limit) {
  e.Valid = Inside(first, limit) && Inside(last, limit);
  if (e.Valid) {
    e.First = static_cast<int>(first);
    e.Last = static_cast<int>(last);
  }
  return e;
}

TAxisEntry AreaEntry(const TAxis& a, i64 p) {
  const i64 lo = a.S * p;
  const i64 hi = a.S * (p + 1);
  const i64 first = lo / a.D;
  const i64 last = hi / a.D - (hi % a.D == 0 ? 1 : 0);
  if (first == last) return SingleTap(a.O + first, a.S, a.Limit);
  TAxisEntry e;
  e.WFirst = a.D * (first + 1) - lo;
  e.WLast = hi - a.D * last;
  e.Kind = last - first < 2 ? 1 : 2;
  return TwoEnds(e, a.O + first, a.O + last, a.Limit);
}

// When enlarging, the outermost destination positions lean on one source
// position beyond the border; they take the border pixel instead.
TAxisEntry ClampEnds(TAxisEntry e, i64 first, i64 last, const TAxis& a) {
  const bool firstIn = Inside(first, a.Limit);
  if (a.D <= a.S || firstIn == Inside(last, a.Limit)) return TwoEnds(e, first, last, a.Limit);
  e.First = static_cast<int>(std::clamp<i64>(first, 0, a.Limit - 1));
  e.Last = static_cast<int>(std::clamp<i64>(last, 0, a.Limit - 1));
  e.Valid = true;
  return e;
}

TAxisEntry TwoTapEntry(const TAxis& a, i64 p) {
  const i64 centre = a.S + 2 * a.S * p;  // twice the centre of p, in source units times d
  const i64 dd = 2 * a.D;
  const i64 first = (centre - a.D) / dd;
  const i64 last = (centre + a.D) / dd;
  TAxisEntry e;
  e.Kind = 1;
  e.WFirst = 3 * a.D + dd * first - centre;
  e.WLast = centre + a.D - dd * last;
  if (a.D + dd * first == centre || first == last) {
    e.Kind = 0;
    e.WFirst = dd;
  }
  return ClampEnds(e, a.O + first, a.O + last, a);
}

TAxisEntry EntryAt(const TAxis& a, i64 p) {
  switch (a.Filter) {
    case TFilter::Point:
      return SingleTap(a.O + a.S * p / a.D, 1, a.Limit);
    case TFilter::Identity:
      return SingleTap(a.O + p, 1, a.Limit);
    case TFilter::Area:
      return AreaEntry(a, p);
    default:
      return TwoTapEntry(a, p);
  }
}

template <class Fn>
inline void ForEachTap(const TAxisEntry& e, i64 full, Fn&& fn) {
  fn(e.First, e.WFirst);
  if (e.Kind == 0) return;
  if (e.Kind == 2)
    for (int pos = e.First + 1; pos < e.Last; ++pos) fn(pos, full);
  fn(e.Last, e.WLast);
}

struct TChannels {
  i64 R = 0, G = 0, B = 0;
};

// Resamples the clipped destination rectangle row by row. A row's weighted
// sums are gathered first (source rows in storage order) and written
// afterwards in the serpentine order the error diffusion needs.
class TStretcher {
 public:
  // Column entries are built once for the clipped columns firstCol..lastCol;
  // destX is where position 0 of the horizontal axis lies.
  TStretcher(TPixelGraphic& dest, TPixelGraphic& source, const TAxis& h, const TAxis& v,
             bool dithering, int destX, int firstCol, int lastCol)
      : FDest(dest), FSource(source), FH(h), FV(v), FDithering(dithering), FFirstCol(firstCol) {
    if (lastCol >= firstCol) FCols.reserve(static_cast<std::size_t>(lastCol - firstCol) + 1);
    for (i64 x = firstCol; x <= lastCol; ++x) FCols.push_back(EntryAt(h, x - destX));
    FTotals.resize(FCols.size());
  }

  void Row(int y, i64 p) {
    const TAxisEntry row = EntryAt(FV, p);
    if (!row.Valid || FCols.empty()) return;
    std::fill(FTotals.begin(), FTotals.end(), TChannels{});
    ForEachTap(row, FV.FullWeight(), [&](int r, i64 w) { AccumulateRow(r, w); });
    WriteRow(y);
  }

 private:
  void AccumulateRow(int r, i64 weight) {
    if (FSource.PixelFormat() == pgpf24Bit) {
      const std::uint8_t* line = FSource.ScanLine(r);
      Accumulate(weight, [line](int c) {
        const std::uint8_t* px = line + 3 * static_cast<std::size_t>(c);
        return TChannels{px[2], px[1], px[0]};
      });
    } else {
      Accumulate(weight, [this, r](int c) {
        const TRGB color = FSource.GetPixelColor(c, r);
        return TChannels{GetRValue(color), GetGValue(color), GetBValue(color)};
      });
    }
  }

  template <class Fetch>
  void Accumulate(i64 rowWeight, Fetch fetch) {
    const i64 full = FH.FullWeight();
    const i64 div = FH.Divisor();
    for (std::size_t i = 0; i < FCols.size(); ++i) {
      if (!FCols[i].Valid) continue;
      TChannels sum;
      ForEachTap(FCols[i], full, [&](int c, i64 w) {
        const TChannels px = fetch(c);
        sum.R += px.R * w;
        sum.G += px.G * w;
        sum.B += px.B * w;
      });
      FTotals[i].R += sum.R / div * rowWeight;
      FTotals[i].G += sum.G / div * rowWeight;
      FTotals[i].B += sum.B / div * rowWeight;
    }
  }

  void WriteRow(int y) {
    std::uint8_t* line = FDest.PixelFormat() == pgpf24Bit ? FDest.ScanLine(y) : nullptr;
    const i64 div = FV.Divisor();
    const int n = static_cast<int>(FCols.size());
    const bool forward = y % 2 == 0;
    for (int k = 0; k < n; ++k) {
      const int i = forward ? k : n - 1 - k;
      if (!FCols[i].Valid) continue;
      const TChannels& t = FTotals[i];
      Put(line, FFirstCol + i, y, static_cast<int>(t.R / div), static_cast<int>(t.G / div),
          static_cast<int>(t.B / div));
    }
  }

  void Put(std::uint8_t* line, int x, int y, int r, int g, int b) {
    if (line) {
      std::uint8_t* px = line + 3 * static_cast<std::size_t>(x);
      px[0] = static_cast<std::uint8_t>(b);
      px[1] = static_cast<std::uint8_t>(g);
      px[2] = static_cast<std::uint8_t>(r);
    } else if (FDithering) {
      FDest.PutDithered(x, y, r, g, b);
    } else {
      FDest.SetPixelColor(x, y, RGBColor(r, g, b));
    }
  }

  TPixelGraphic& FDest;
  TPixelGraphic& FSource;
  TAxis FH;
  TAxis FV;
  bool FDithering;
  int FFirstCol;
  std::vector<TAxisEntry> FCols;
  std::vector<TChannels> FTotals;
};

struct TSpan {
  int First;
  int Last;  // below First when the span is empty
};

// Positions of [origin, origin + size) that lie in 0 .. limit - 1.
TSpan ClipSpan(int origin, int size, int limit) {
  const i64 first = std::max(origin, 0);
  const i64 last = std::min<i64>(i64(origin) + size - 1, i64(limit) - 1);
  return {static_cast<int>(first), static_cast<int>(std::max(last, first - 1))};
}

// The rectangles of one scaled copy.
struct TStretchRects {
  int DestX, DestY, DestWidth, DestHeight;
  int SrcX, SrcY, SrcWidth, SrcHeight;
};

// A rectangle without area has nothing to sample from or to fill; the
// weights would otherwise divide by a zero or negative size.
bool HasArea(const TStretchRects& r) {
  return r.DestWidth > 0 && r.DestHeight > 0 && r.SrcWidth > 0 && r.SrcHeight > 0;
}

bool HasRows(TPixelGraphic& g) { return g.Height() >= 1 && !g.Empty(); }

// Pairs OnProgressStart with OnProgressEnd, also when a pixel conversion
// fails, so a progress display is never left running.
class TProgressFrame {
 public:
  explicit TProgressFrame(TPixelGraphic& g) : G(g) { G.DoProgressStart(); }
  ~TProgressFrame() { G.DoProgressEnd(); }
  TProgressFrame(const TProgressFrame&) = delete;
  TProgressFrame& operator=(const TProgressFrame&) = delete;

 private:
  TPixelGraphic& G;
};

TAxis MakeAxis(TStretchMode mode, int origin, int s, int d, int limit) {
  return TAxis{ChooseFilter(mode, s, d), origin, s, d, limit};
}

void Resample(TPixelGraphic& dest, TPixelGraphic& source, const TStretchRects& r) {
  const TSpan cols = ClipSpan(r.DestX, r.DestWidth, dest.Width());
  const TSpan rows = ClipSpan(r.DestY, r.DestHeight, dest.Height());
  const bool dithering = dest.Dither && dest.PixelFormat() != pgpf24Bit;
  TPGDitherGuard ditherMemory(dest);
  if (dithering)
    dest.PrepareDither();
  else
    dest.FreeDither();
  const TAxis h = MakeAxis(dest.StretchMode, r.SrcX, r.SrcWidth, r.DestWidth, source.Width());
  const TAxis v = MakeAxis(dest.StretchMode, r.SrcY, r.SrcHeight, r.DestHeight, source.Height());
  TStretcher st(dest, source, h, v, dithering, r.DestX, cols.First, cols.Last);
  TProgressFrame frame(dest);
  for (int y = rows.First; y <= rows.Last; ++y) {
    if (dithering) dest.NextDitherRow();
    st.Row(y, i64(y) - r.DestY);
    if (dest.DoProgress(y - rows.First, rows.Last - rows.First)) break;
  }
}

}  // namespace

void TPixelGraphic::StretchCopy(int destX, int destY, int destWidth, int destHeight,
                                TPixelGraphic& source, int srcX, int srcY, int srcWidth,
                                int srcHeight) {
  FlushPending();
  source.FlushPending();
  if (srcWidth == destWidth && srcHeight == destHeight) {
    CopyRect(destX, destY, source, srcX, srcY, destWidth, destHeight);
    return;
  }
  if (Width() < 1 || source.Width() < 1) return;
  const TStretchRects rects{destX, destY, destWidth, destHeight, srcX, srcY, srcWidth, srcHeight};
  if (!HasArea(rects) || !HasRows(*this) || !HasRows(source)) return Changed();
  if (HasAlpha() && source.HasAlpha() && PixelFormat() == pgpf24Bit)
    return PGStretchWithAlpha(*this, destX, destY, destWidth, destHeight, source, srcX, srcY, srcWidth, srcHeight);
  Resample(*this, source, rects);
  Changed();
}

void TPixelGraphic::CopyFrom(TPixelGraphic& source) {
  StretchCopy(0, 0, Width(), Height(), source, 0, 0, source.Width(), source.Height());
}
