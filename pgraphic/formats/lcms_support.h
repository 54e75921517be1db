#pragma once
// Little CMS objects with owners. Every use has a context of its own, so
// that the library's error texts reach the one who asked, on any thread.

#include <lcms2.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pglcms {

class TContext {
 public:
  TContext() : Handle(cmsCreateContext(nullptr, this)) {
    if (Handle) cmsSetLogErrorHandlerTHR(Handle, Log);
  }
  ~TContext() {
    if (Handle) cmsDeleteContext(Handle);
  }
  TContext(const TContext&) = delete;
  TContext& operator=(const TContext&) = delete;

  cmsContext Handle;
  std::string Error;  // the first error the library reported

 private:
  static void Log(cmsContext context, cmsUInt32Number, const char* text) {
    auto* self = static_cast<TContext*>(cmsGetContextUserData(context));
    if (self && self->Error.empty() && text) self->Error = text;
  }
};

struct TProfileCloser {
  void operator()(void* p) const { cmsCloseProfile(p); }
};
struct TTransformDeleter {
  void operator()(void* p) const { cmsDeleteTransform(p); }
};
// Both must go before the context they were made in.
using TProfile = std::unique_ptr<void, TProfileCloser>;
using TTransform = std::unique_ptr<void, TTransformDeleter>;

inline TProfile OpenProfile(TContext& context, const std::vector<std::uint8_t>& icc) {
  if (!context.Handle || icc.empty()) return nullptr;
  return TProfile(cmsOpenProfileFromMemTHR(context.Handle, icc.data(), cmsUInt32Number(icc.size())));
}

// The transform of every conversion to sRGB: perceptual, which for the
// matrix profiles of cameras and phones is the colorimetric mapping and for
// table-based ones uses the tables browsers use too.
inline TTransform TransformToSRGB(TContext& context, void* profile, cmsUInt32Number inFormat,
                                  cmsUInt32Number outFormat, cmsUInt32Number intent = INTENT_PERCEPTUAL) {
  if (!context.Handle || !profile) return nullptr;
  TProfile srgb(cmsCreate_sRGBProfileTHR(context.Handle));
  if (!srgb) return nullptr;
  return TTransform(cmsCreateTransformTHR(context.Handle, profile, inFormat, srgb.get(), outFormat,
                                          intent, 0));
}

}  // namespace pglcms
