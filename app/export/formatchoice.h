#pragma once
// The format each slice is written in. A slice has the export's format or
// one of its own, in either case perhaps "auto", which takes the fewest
// bytes that look the same:
// - a cell of 256 colours or fewer is kept exact, as the smaller of an
//   indexed PNG and a lossless WebP;
// - any other becomes the smaller of a JPEG at the chosen quality and a
//   WebP at the lowest quality whose SSIM (against the cell) is at least
//   that JPEG's. The quality is searched (see EncodeSlice), so such a cell
//   costs one JPEG and a handful of WebP files, each decoded and measured.
// - a near-flat cell (kNearFlatColours or fewer) may also become a
//   256-colour PNG, where one looks as good as that JPEG in fewer bytes.
// Pages for mail leave WebP out; the setting AutoFormats limits the choice
// further. The choice depends on the cell's pixels and the settings alone,
// never on which thread makes it or when.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/common/outputformats.h"
#include "pgraphic/core/settings.h"

class TPixelGraphic;

// How one slice is to be written: a format of app/common/outputformats.h and, for
// JPEG, WebP and "auto" (whose JPEG it sets), a quality of its own.
struct TSliceFormat {
  const TOutputFormat* Format = nullptr;
  int Quality = -1;  // 0 to 100; -1: the settings' quality
  // Whether the slice is made in memory by EncodeSlice rather than by the
  // format's writer straight into its file.
  bool InMemory() const { return Format->Chosen() || Quality >= 0; }
};

// What the slices of one export are encoded by: the writers' settings as it
// began (whatever they become while it runs) and whether the page is for
// mail.
struct TEncodeRules {
  TPGLibrarySettings Settings;
  bool Email = false;
};

// The bits of AutoFormats.
enum : std::uint8_t { afJpeg = 1, afPng = 2, afWebp = 4, afAll = 7 };
// "jpg,png" (names jpg, png and webp, in any order, comma separated) as
// bits; none for anything else, an empty list too.
std::optional<std::uint8_t> AutoFormatsFromText(const std::string& text);
// The bits as a list: "jpg,png,webp".
std::string AutoFormatsText(std::uint8_t formats);
// The formats the choice may take under the rules: AutoFormats, without
// WebP for mail. None left is a refusal (AutoFormatsProblem).
std::uint8_t AutoFormatsFor(const TEncodeRules& rules);
// The extensions of the files the choice may make of formats: ".jpg",
// ".png", ".webp".
std::vector<std::string> AutoFormatExtensions(std::uint8_t formats);
// Why an export whose slices are chosen cannot run, or empty.
std::string AutoFormatsProblem(const TEncodeRules& rules);

// The WebP effort (the writer's WebpMethod) of the automatic choice, for
// its trial files and the chosen one alike, so that the bytes kept are the
// bytes measured: the search encodes a cell several times, and libwebp's
// default effort buys a few per cent of bytes for about twice the time.
constexpr std::uint8_t kAutoWebpMethod = 2;
// The WebP quality chosen is at most this much above the lowest that looks
// as good: the last few qualities are worth fewer bytes than their encodes
// cost.
constexpr int kAutoWebpSpan = 8;
// A cell of at most this many colours is near-flat (flat areas, text and
// their anti-aliased edges): an optimised palette loses little of it.
constexpr std::size_t kNearFlatColours = 2048;

// One slice as a file in memory.
struct TEncodedSlice {
  const TOutputFormat* Format = nullptr;  // what the file is
  int Quality = -1;                       // of a lossy file
  std::vector<std::uint8_t> Bytes;
  // Why this format, when it was chosen: "256 colours or fewer: PNG beats
  // lossless WebP (2310 bytes)".
  std::string Reason;
  int Encodes = 0;  // files encoded on the way, this one included
};

// Encodes image (a cell, any depth) as format says, with the rules'
// settings. For "auto", the WebP quality is searched from a guess (a little
// below the JPEG's quality, or at most 40 where the JPEG looks almost
// perfect) in steps of 8, 16 ... until the lowest one good enough lies
// between two tries, then by halving that span down to kAutoWebpSpan; a
// WebP that falls short of the JPEG's look while already as large as the
// JPEG ends the search (better looking ones are larger still). A cell of
// many colours thus costs one JPEG and mostly two or three WebP files,
// each decoded and measured. Raises what the writers raise.
TEncodedSlice EncodeSlice(TPixelGraphic& image, const TSliceFormat& format, const TEncodeRules& rules);
