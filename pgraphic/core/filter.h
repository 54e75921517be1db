#pragma once
// What a colour filter offers an image that applies it (TPixelGraphic::
// ApplyFilter): the new colour of a source pixel, or of a single colour when
// the mapping does not depend on the pixel's position. The filters
// themselves are in pgraphic/filters.

#include "pgraphic/core/types.h"

class TPixelGraphic;

// The plain filter leaves colours alone and maps every pixel to black; it is
// the base the table-driven filters refine.
class TPGFilter {
 public:
  TPGFilter() = default;
  virtual ~TPGFilter() = default;
  TPGFilter(const TPGFilter&) = delete;
  TPGFilter& operator=(const TPGFilter&) = delete;

  virtual void BeginFilter(TPixelGraphic& source);
  virtual TRGB FilterPixel(int x, int y);
  virtual void EndFilter();
  // True when FilterColor alone decides the result, so a palette image can be
  // filtered through its palette and the target may be the source itself.
  virtual bool IsColorMapping() const;
  virtual TRGB FilterColor(TRGB color);

  // The image of the running pass, null outside BeginFilter..EndFilter.
  TPixelGraphic* Source() const { return FSource; }

 protected:
  TPixelGraphic* FSource = nullptr;
};

// Ends a filter pass on every exit path.
class TPGFilterPass {
 public:
  TPGFilterPass(TPGFilter& filter, TPixelGraphic& source) : F(filter) { F.BeginFilter(source); }
  ~TPGFilterPass() { F.EndFilter(); }
  TPGFilterPass(const TPGFilterPass&) = delete;
  TPGFilterPass& operator=(const TPGFilterPass&) = delete;

 private:
  TPGFilter& F;
};
