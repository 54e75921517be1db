#include "app/ui/lossyformat.h"

#include <stdexcept>

namespace {

const TOutputFormat& Named(const char* name) {
  const TOutputFormat* format = FindOutputFormat(name);
  if (!format) throw std::logic_error(std::string("No output format ") + name);
  return *format;
}

}  // namespace

const TOutputFormat& JpegFormat() {
  static const TOutputFormat& jpeg = Named("jpg");
  return jpeg;
}

const TOutputFormat& WebpFormat() {
  static const TOutputFormat& webp = Named("webp");
  return webp;
}

const TOutputFormat* QualityFormatOf(const TOutputFormat& format) {
  if (format.Chosen()) return &JpegFormat();
  if (&format == &JpegFormat() || &format == &WebpFormat()) return &format;
  return nullptr;
}

std::uint8_t& QualitySetting(TPGLibrarySettings& settings, const TOutputFormat& lossy) {
  return &lossy == &WebpFormat() ? settings.WebpQuality : settings.JpegQuality;
}
