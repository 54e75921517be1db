#pragma once
// Paintbrush (PCX) reader.

#include <cstdint>

#include "pgraphic/formats/registry.h"

class TPCXFileFormatReader : public TFileFormatReader {
 public:
  TPCXFileFormatReader();
  const char* ClassName() const override { return "TPCXFileFormatReader"; }
  bool CheckSignature(const std::uint8_t* header, int headerSize) override;
  void ReadImage(TStream& stream, TPixelGraphic& image, int index) override;
  void ReadInfo(TStream& stream, int index, TFileInfo& info) override;
};
