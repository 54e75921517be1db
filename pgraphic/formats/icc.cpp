#include "pgraphic/formats/icc.h"

#include <algorithm>
#include <cstring>

#include "pgraphic/formats/lcms_support.h"

namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kTagEntrySize = 12;
constexpr char kMarkerId[] = "ICC_PROFILE";  // with its NUL, 12 bytes
constexpr std::size_t kMarkerHead = sizeof kMarkerId + 2;  // then sequence number and count
// A description longer than this is cut: it goes on one line of text.
constexpr std::size_t kMaxDescription = 200;

std::uint32_t BE32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

TIccSpace SpaceOf(const std::vector<std::uint8_t>& icc) {
  if (icc.size() < kHeaderSize) return TIccSpace::isOther;
  if (std::memcmp(icc.data() + 16, "RGB ", 4) == 0) return TIccSpace::isRGB;
  if (std::memcmp(icc.data() + 16, "GRAY", 4) == 0) return TIccSpace::isGray;
  if (std::memcmp(icc.data() + 16, "CMYK", 4) == 0) return TIccSpace::isCMYK;
  return TIccSpace::isOther;
}

std::string SpaceName(const std::vector<std::uint8_t>& icc) {
  std::string name(reinterpret_cast<const char*>(icc.data() + 16), 4);
  for (char& c : name)
    if (c < 0x20 || c > 0x7E) c = '?';
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

// The header and the tag table must lie inside the profile, and so must
// the data of every tag; counts and offsets are checked in 64 bits.
std::string StructureProblem(std::vector<std::uint8_t>& icc) {
  if (icc.size() < kHeaderSize + 4) return "profile shorter than its header";
  const std::uint64_t declared = BE32(icc.data());
  if (declared < kHeaderSize + 4) return "profile size " + std::to_string(declared) + " invalid";
  if (declared > icc.size())
    return "profile cut short (" + std::to_string(icc.size()) + " of " + std::to_string(declared) + " bytes)";
  icc.resize(std::size_t(declared));
  if (std::memcmp(icc.data() + 36, "acsp", 4) != 0) return "not an ICC profile";
  const std::uint64_t tags = BE32(icc.data() + kHeaderSize);
  if (kHeaderSize + 4 + tags * kTagEntrySize > declared) return "tag table runs past the end of the profile";
  for (std::uint64_t i = 0; i < tags; ++i) {
    const std::uint8_t* entry = icc.data() + kHeaderSize + 4 + i * kTagEntrySize;
    const std::uint64_t offset = BE32(entry + 4), size = BE32(entry + 8);
    if (offset + size > declared) return "tag data runs past the end of the profile";
  }
  return "";
}

std::string Sanitized(const char* text) {
  std::string out;
  for (const char* p = text; *p && out.size() < kMaxDescription; ++p)
    out += (*p >= 0x20 && *p <= 0x7E) ? *p : '?';
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string Description(void* profile) {
  char text[kMaxDescription + 1] = {};
  if (!cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text, sizeof text)) return "";
  return Sanitized(text);
}

// The profile's bytes as Little CMS writes them, or nothing.
std::vector<std::uint8_t> Saved(void* profile) {
  cmsUInt32Number size = 0;
  if (!cmsSaveProfileToMem(profile, nullptr, &size) || size == 0) return {};
  std::vector<std::uint8_t> bytes(size);
  if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) return {};
  bytes.resize(size);
  return bytes;
}

// Colour pixels that are all grey, described by a grey profile's tone
// curve: any primaries give the same greys, so sRGB's are taken.
std::vector<std::uint8_t> RGBForGreyProfile(const std::vector<std::uint8_t>& grey) {
  pglcms::TContext context;
  const pglcms::TProfile profile = pglcms::OpenProfile(context, grey);
  if (!profile) return {};
  auto* curve = static_cast<cmsToneCurve*>(cmsReadTag(profile.get(), cmsSigGrayTRCTag));
  if (!curve) return {};
  const cmsCIExyY white{0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
  cmsToneCurve* curves[3] = {curve, curve, curve};
  const pglcms::TProfile rgb(cmsCreateRGBProfileTHR(context.Handle, &white, &primaries, curves));
  if (!rgb) return {};
  auto* description = static_cast<cmsMLU*>(cmsReadTag(profile.get(), cmsSigProfileDescriptionTag));
  if (description) cmsWriteTag(rgb.get(), cmsSigProfileDescriptionTag, description);
  return Saved(rgb.get());
}

}  // namespace

std::string IccProblem(std::vector<std::uint8_t>& icc, TIccSpace expected, bool tryConversion) {
  if (std::string problem = StructureProblem(icc); !problem.empty()) return problem;
  if (expected == TIccSpace::isOther) return "";
  const TIccSpace space = SpaceOf(icc);
  if (space != expected)
    return "a profile of " + SpaceName(icc) + " pixels for " +
           (expected == TIccSpace::isGray ? "grey" : expected == TIccSpace::isCMYK ? "CMYK" : "colour") + " pixels";
  if (!tryConversion) return "";
  pglcms::TContext context;
  const pglcms::TProfile profile = pglcms::OpenProfile(context, icc);
  const cmsUInt32Number in = space == TIccSpace::isGray ? TYPE_GRAY_8 : space == TIccSpace::isCMYK ? TYPE_CMYK_8 : TYPE_RGB_8;
  const pglcms::TTransform transform =
      profile ? pglcms::TransformToSRGB(context, profile.get(), in, TYPE_RGB_8) : nullptr;
  if (transform) return "";
  return "profile unusable" + (context.Error.empty() ? std::string() : " (" + Sanitized(context.Error.c_str()) + ")");
}

bool IsIccMarker(const TIccMarker& marker) {
  return marker.Size >= kMarkerHead && std::memcmp(marker.Data, kMarkerId, sizeof kMarkerId) == 0;
}

std::string AssembleIccMarkers(const std::vector<TIccMarker>& markers, std::vector<std::uint8_t>& icc) {
  icc.clear();
  std::vector<const TIccMarker*> parts;
  int count = -1;
  for (const TIccMarker& m : markers) {
    if (!IsIccMarker(m)) continue;
    const int sequence = m.Data[sizeof kMarkerId], total = m.Data[sizeof kMarkerId + 1];
    if (count < 0) {
      count = total;
      parts.assign(std::size_t(count), nullptr);
    }
    if (total != count) return "APP2 markers disagree on the count of parts";
    if (sequence < 1 || sequence > count) return "APP2 marker of part " + std::to_string(sequence) + " of " + std::to_string(count);
    if (parts[std::size_t(sequence - 1)]) return "two APP2 markers of part " + std::to_string(sequence);
    parts[std::size_t(sequence - 1)] = &m;
  }
  if (count < 0) return "";
  for (std::size_t i = 0; i < parts.size(); ++i)
    if (!parts[i]) return "APP2 marker of part " + std::to_string(i + 1) + " missing";
  for (const TIccMarker* part : parts) icc.insert(icc.end(), part->Data + kMarkerHead, part->Data + part->Size);
  if (icc.empty()) return "APP2 markers without profile data";
  return "";
}

std::string TakeIccProfile(TPixelGraphic& image, std::vector<std::uint8_t> icc, TIccSpace expected,
                           const std::string& name) {
  if (std::string problem = IccProblem(icc, expected); !problem.empty()) return problem;
  auto profile = std::make_shared<TPGColorProfile>();
  profile->Icc = std::move(icc);
  profile->Name = name;
  image.ColorProfile = std::move(profile);
  return "";
}

std::string IccIgnoredText(const std::string& problem) {
  return "ICC profile ignored: " + problem + "; the colours are read as sRGB";
}

std::string IccInfoText(std::vector<std::uint8_t> icc, TIccSpace expected) {
  if (std::string problem = IccProblem(icc, expected); !problem.empty()) return IccDamagedText(problem);
  pglcms::TContext context;
  const pglcms::TProfile opened = pglcms::OpenProfile(context, icc);
  const std::string description = opened ? Description(opened.get()) : "";
  return "ICC profile: " + (description.empty() ? std::string("(no description)") : description);
}

std::string IccDamagedText(const std::string& problem) { return "ICC profile: damaged, " + problem; }

std::vector<std::uint8_t> IccToEmbed(const TPixelGraphic& image, bool greyPixels) {
  const TPGColorProfileRef& profile = image.ColorProfile;
  if (!profile || profile->Icc.empty()) return {};
  const TIccSpace space = SpaceOf(profile->Icc);
  if (space == (greyPixels ? TIccSpace::isGray : TIccSpace::isRGB)) return profile->Icc;
  if (!greyPixels && space == TIccSpace::isGray) return RGBForGreyProfile(profile->Icc);
  return {};
}
