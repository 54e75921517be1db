#pragma once
// The image library's exception family. Every message is a message-table text.

#include <exception>
#include <string>

class EPixelGraphic : public std::exception {
 public:
  explicit EPixelGraphic(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  const std::string& message() const noexcept { return Message; }

 private:
  std::string Message;
};

#define PG_DECLARE_EXCEPTION(Name, Base)                            \
  class Name : public Base {                                        \
   public:                                                          \
    explicit Name(std::string message) : Base(std::move(message)) {} \
  };

PG_DECLARE_EXCEPTION(EPGXYIndexOutOfRange, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGNoPalette, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGInvalidPaletteIndex, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGEmpty, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGCanWriteResolutionsEmpty, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGCannotWriteColorRes, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGFileFormatWritersEmpty, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGUnknownExtension, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGUnknownFileFormat, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGUnknownClipboardFormat, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGBMPFileFormatReader, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGJPGFileFormatReaderWriter, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGPNGFileFormatReaderWriter, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGPCXFileFormatReader, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGPxMFileFormatReader, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGPxMFileFormatWriter, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGTGAFileFormatReader, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGTIFFileFormatReader, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGTIFFileFormatWriter, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGWebPFileFormatReaderWriter, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGInvalidBitCountNum, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGInvalidSize, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGFilter, EPixelGraphic)
PG_DECLARE_EXCEPTION(EPGSaturationHue, EPixelGraphic)

#undef PG_DECLARE_EXCEPTION

// Raises E with message-table entry `entry`, placeholders filled in order.
template <class E>
[[noreturn]] void RaisePG(int entry);
template <class E>
[[noreturn]] void RaisePG(int entry, const std::string& s1);

// Raises E with prefix + entry text (format readers and writers: "BMP: " ...).
template <class E>
[[noreturn]] void RaisePrefixed(const std::string& prefix, int entry);
template <class E>
[[noreturn]] void RaisePrefixed(const std::string& prefix, int entry, const std::string& s1);

#include "pgraphic/core/messages.h"

template <class E>
void RaisePG(int entry) {
  throw E(GetLangStr(entry));
}
template <class E>
void RaisePG(int entry, const std::string& s1) {
  throw E(FormatLangStr1(entry, s1));
}
template <class E>
void RaisePrefixed(const std::string& prefix, int entry) {
  throw E(prefix + GetLangStr(entry));
}
template <class E>
void RaisePrefixed(const std::string& prefix, int entry, const std::string& s1) {
  throw E(prefix + FormatLangStr1(entry, s1));
}
