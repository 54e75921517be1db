#pragma once
// ICC profiles built with Little CMS for tests, and Little CMS's own
// conversion of pixels to sRGB to compare ours with. (icc_peer.h hands them
// to peer tools.)

#include <lcms2.h>

#include <cstdint>
#include <string>
#include <vector>

#include <algorithm>

namespace icc {

inline std::vector<std::uint8_t> Save(cmsHPROFILE profile, const std::string& description) {
  cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
  cmsMLUsetASCII(mlu, "en", "US", description.c_str());
  cmsWriteTag(profile, cmsSigProfileDescriptionTag, mlu);
  cmsMLUfree(mlu);
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::vector<std::uint8_t> bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

inline std::vector<std::uint8_t> Rgb(const std::string& description, const cmsCIExyYTRIPLE& primaries,
                                     cmsToneCurve* curve) {
  const cmsCIExyY d65{0.3127, 0.3290, 1.0};
  cmsToneCurve* curves[3] = {curve, curve, curve};
  std::vector<std::uint8_t> bytes = Save(cmsCreateRGBProfile(&d65, &primaries, curves), description);
  cmsFreeToneCurve(curve);
  return bytes;
}

// Adobe RGB (1998) primaries and gamma; a long description makes the
// profile as large as asked (a JPEG then spreads it over several markers).
inline std::vector<std::uint8_t> AdobeRgb(std::size_t descriptionLength = 0) {
  std::string description = "Wide RGB (Adobe primaries)";
  description.resize(std::max(description.size(), descriptionLength), '.');
  return Rgb(description, {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}}, cmsBuildGamma(nullptr, 563.0 / 256));
}

inline std::vector<std::uint8_t> DisplayP3() {
  const double srgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  return Rgb("Wide RGB (P3 primaries)", {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}},
             cmsBuildParametricToneCurve(nullptr, 4, srgbCurve));
}

inline std::vector<std::uint8_t> Grey(double gamma) {
  const cmsCIExyY d65{0.3127, 0.3290, 1.0};
  cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
  std::vector<std::uint8_t> bytes = Save(cmsCreateGrayProfile(&d65, curve), "Grey");
  cmsFreeToneCurve(curve);
  return bytes;
}

// Little CMS's own conversion to sRGB (perceptual) of 8-bit pixels, RGB
// (3 bytes each) or grey (1 byte each, giving RGB), or of another format.
inline std::vector<std::uint8_t> ToSRGB(const std::vector<std::uint8_t>& profile, const std::vector<std::uint8_t>& pixels,
                                        bool grey = false, cmsUInt32Number format = 0) {
  cmsHPROFILE in = cmsOpenProfileFromMem(profile.data(), cmsUInt32Number(profile.size()));
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  if (format == 0) format = grey ? TYPE_GRAY_8 : TYPE_RGB_8;
  cmsHTRANSFORM t = cmsCreateTransform(in, format, srgb, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
  const std::size_t count = pixels.size() / T_CHANNELS(format);
  std::vector<std::uint8_t> out(count * 3);
  cmsDoTransform(t, pixels.data(), out.data(), cmsUInt32Number(count));
  cmsDeleteTransform(t);
  cmsCloseProfile(srgb);
  cmsCloseProfile(in);
  return out;
}

}  // namespace icc
