#pragma once
// The library's numbered message table and the lookup/format helpers.

#include <cstddef>
#include <string>

struct TLangStrEntry {
  int Number;
  const char* Texts[6];  // English, German, French, Dutch, Spanish, spare
};

constexpr int PGLangStrEntryCount = 85;
extern const TLangStrEntry PGLangStrEntries[PGLangStrEntryCount];

// Library-wide language: 0 English (the only one Tessel uses).
extern unsigned char PGLanguage;

std::string GetLangStr(int entry);
std::string FormatLangStr1(int entry, const std::string& s1);
std::string FormatLangStr2(int entry, const std::string& s1, const std::string& s2);
std::string FormatLangStr3(int entry, const std::string& s1, const std::string& s2,
                           const std::string& s3);

// Replaces the first occurrence of placeholder in text by value.
std::string ReplaceFirst(std::string text, const std::string& placeholder,
                         const std::string& value);

// Start-up self-check of the table order; raises EPixelGraphic on a mismatch.
void CheckLangStrEntries(const TLangStrEntry* entries, std::size_t count);
void CheckLangStrEntries();

// Entry numbers the code refers to by name.
enum : int {
  msgXYIndexOutOfRange = 1,
  msgNoPalette = 2,
  msgInvalidPaletteIndex = 3,
  msgUnknownClipboardFormat = 4,
  msgInvalidTemporaryFile = 5,
  msgUnknownFileFormat = 6,
  msgInvalid = 7,
  msgColorResFirst = 8,
  msgIsEmpty = 16,
  msgColorResWarning = 17,
  msgCannotWriteColorRes = 18,
  msgUnknownExtension = 19,
  msgInvalidValueFor = 20,
  msgNegativeHeight = 21,
  msgNegativeWidth = 22,
  msgFilterOnItself = 23,
  msgBit = 24,
  msgImageFiles = 25,
  msgAllFiles = 26,
  msgInvalidSizeOf = 27,
  msgWarning = 28,
  msgAborted = 29,
  msgNotSupportedSubformat = 30,
  msgFailed = 31,
  msgUnexpectedEOF = 32,
  msgUnknownSubformat = 33,
  msgNotAFile = 34,
  msgWidthOrHeightZero = 35,
  msgInvalidColorResolution = 36,
  msgUnsupportedFieldType = 37,
  msgInvalidRowByteCount = 38,
  msgUnsupportedCompression = 39,
  msgSaturationHue = 40,
  msgOutOfRange = 41,
  msgOK = 42,
  msgCancel = 43,
  // A filter dialog's title, followed by its three channel letters.
  msgRGBFilter = 44,
  msgCMYFilter = 48,
  msgHLSFilter = 56,
  msgPlusMinus = 82,
  msgDegree = 83,
};
