#pragma once
// The quality the slices of an output format are made at, known from the
// table of app/common/outputformats.h: JPEG and WebP slices at their own
// format's, those of the automatic choice at JPEG's (the choice starts from
// a JPEG of that quality). The other formats keep every pixel and have
// none.

#include <cstdint>

#include "app/common/outputformats.h"
#include "pgraphic/core/settings.h"

// The two lossy formats of the table.
const TOutputFormat& JpegFormat();
const TOutputFormat& WebpFormat();

// The lossy format whose quality slices of `format` are made at, or null.
const TOutputFormat* QualityFormatOf(const TOutputFormat& format);

// The library setting that holds the quality of a lossy format.
std::uint8_t& QualitySetting(TPGLibrarySettings& settings, const TOutputFormat& lossy);
