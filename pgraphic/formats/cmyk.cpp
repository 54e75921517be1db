#include "pgraphic/formats/cmyk.h"

#include "pgraphic/formats/lcms_support.h"

const char* const GenericCmykDescription = "Generic CMYK (as browsers show untagged CMYK)";

namespace {

constexpr int GridPoints = 17;

// The rule of the generic profile for one table point: the CMYK inks
// (0 to 65535) to the sRGB values they stand for.
int InksToSRGB(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
  cmsUInt16Number rgb[3];
  const double paper = 1.0 - in[3] / 65535.0;
  for (int c = 0; c < 3; ++c) rgb[c] = cmsUInt16Number(65535.0 * (1.0 - in[c] / 65535.0) * paper + 0.5);
  cmsDoTransform(static_cast<cmsHTRANSFORM>(cargo), rgb, out, 1);
  return TRUE;
}

std::vector<std::uint8_t> BuildGenericProfile() {
  pglcms::TContext context;
  cmsContext id = context.Handle;
  if (!id) return {};
  const pglcms::TProfile srgb(cmsCreate_sRGBProfileTHR(id));
  const pglcms::TProfile lab(cmsCreateLab4ProfileTHR(id, nullptr));
  const pglcms::TProfile profile(cmsCreateProfilePlaceholder(id));
  if (!srgb || !lab || !profile) return {};
  const pglcms::TTransform toLab(
      cmsCreateTransformTHR(id, srgb.get(), TYPE_RGB_16, lab.get(), TYPE_Lab_16, INTENT_RELATIVE_COLORIMETRIC, 0));
  if (!toLab) return {};
  cmsSetProfileVersion(profile.get(), 4.3);
  cmsSetDeviceClass(profile.get(), cmsSigOutputClass);
  cmsSetColorSpace(profile.get(), cmsSigCmykData);
  cmsSetPCS(profile.get(), cmsSigLabData);
  cmsSetHeaderRenderingIntent(profile.get(), INTENT_PERCEPTUAL);
  cmsPipeline* table = cmsPipelineAlloc(id, 4, 3);
  cmsStage* clut = cmsStageAllocCLut16bit(id, GridPoints, 4, 3, nullptr);
  // A version 4 table (mAB) is curves, table, curves: the curves do nothing.
  cmsStage* inCurves = cmsStageAllocToneCurves(id, 4, nullptr);
  cmsStage* outCurves = cmsStageAllocToneCurves(id, 3, nullptr);
  bool ok = table && clut && inCurves && outCurves && cmsStageSampleCLut16bit(clut, InksToSRGB, toLab.get(), 0);
  for (cmsStage* stage : {inCurves, clut, outCurves}) {
    if (ok && cmsPipelineInsertStage(table, cmsAT_END, stage)) continue;
    if (stage) cmsStageFree(stage);
    ok = false;
  }
  ok = ok && cmsWriteTag(profile.get(), cmsSigAToB0Tag, table);
  if (table) cmsPipelineFree(table);
  cmsMLU* description = cmsMLUalloc(id, 1);
  ok = ok && description && cmsMLUsetASCII(description, "en", "US", GenericCmykDescription) &&
       cmsWriteTag(profile.get(), cmsSigProfileDescriptionTag, description);
  if (description) cmsMLUfree(description);
  ok = ok && cmsWriteTag(profile.get(), cmsSigMediaWhitePointTag, cmsD50_XYZ());
  if (!ok) return {};
  cmsUInt32Number size = 0;
  if (!cmsSaveProfileToMem(profile.get(), nullptr, &size) || size == 0) return {};
  std::vector<std::uint8_t> bytes(size);
  if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size)) return {};
  return bytes;
}

}  // namespace

const std::vector<std::uint8_t>& GenericCmykProfile() {
  static const std::vector<std::uint8_t> profile = BuildGenericProfile();
  return profile;
}

namespace {

// One conversion through the generic profile for stored and for inverted
// inks, made once (making one takes tens of milliseconds) and shared by
// every file and thread: without Little CMS's one-pixel cache it keeps no
// state between calls.
struct TGenericConversions {
  TGenericConversions() {
    const pglcms::TProfile profile = pglcms::OpenProfile(Context, GenericCmykProfile());
    const pglcms::TProfile srgb(Context.Handle ? cmsCreate_sRGBProfileTHR(Context.Handle) : nullptr);
    if (!profile || !srgb) return;
    // The generic profile's table is its rule, colorimetrically: a
    // perceptual conversion would lift its black to a printer's.
    for (const bool inverted : {false, true})
      Transforms[inverted] = pglcms::TTransform(
          cmsCreateTransformTHR(Context.Handle, profile.get(), inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, srgb.get(),
                                TYPE_BGR_8, INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE));
  }
  pglcms::TContext Context;  // outlives the objects made in it
  pglcms::TTransform Transforms[2];
};

const TGenericConversions& GenericConversions() {
  static const TGenericConversions conversions;
  return conversions;
}

}  // namespace

struct TCmykToSRGB::TState {
  pglcms::TContext Context;  // outlives the objects made in it
  pglcms::TTransform Own;    // through the file's profile
  void* Transform = nullptr;
};

TCmykToSRGB::TCmykToSRGB(const std::vector<std::uint8_t>& icc, bool inverted) : State(std::make_unique<TState>()) {
  if (icc.empty()) {
    State->Transform = GenericConversions().Transforms[inverted].get();
    return;
  }
  const pglcms::TProfile profile = pglcms::OpenProfile(State->Context, icc);
  State->Own = pglcms::TransformToSRGB(State->Context, profile.get(), inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, TYPE_BGR_8);
  State->Transform = State->Own.get();
}

TCmykToSRGB::~TCmykToSRGB() = default;

bool TCmykToSRGB::Ready() const { return State->Transform != nullptr; }

void TCmykToSRGB::Convert(const std::uint8_t* cmyk, std::uint8_t* bgr, std::size_t pixels) const {
  cmsDoTransform(State->Transform, cmyk, bgr, cmsUInt32Number(pixels));
}
