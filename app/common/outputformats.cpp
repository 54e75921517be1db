#include "app/common/outputformats.h"

const std::vector<TOutputFormat>& OutputFormats() {
  static const std::vector<TOutputFormat> formats = {
      {"jpg", ".jpg", "jpg", ".jpg"},
      {"bmp", ".bmp", "bmp", ".bmp"},
      {"tif", ".tif", "tif", ".tif"},
      {"png", ".png", "png", ".png"},
      {"webp", "WebP", "webp", ".webp"},
      {"png8", "PNG 256 colours", "png8", ".png"},
      {"auto", "Automatic", "", ""},
  };
  return formats;
}

const TOutputFormat* FindOutputFormat(const std::string& name) {
  for (const TOutputFormat& format : OutputFormats())
    if (format.Name == name) return &format;
  return nullptr;
}

std::string OutputFormatNames() {
  const std::vector<TOutputFormat>& formats = OutputFormats();
  std::string names;
  for (std::size_t i = 0; i < formats.size(); ++i)
    names += (i == 0 ? "" : i + 1 == formats.size() ? " or " : ", ") + formats[i].Name;
  return names;
}
