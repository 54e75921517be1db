#include "pgraphic/core/messages.h"

#include "pgraphic/core/errors.h"

std::string GetLangStr(int entry) {
  if (entry < 0 || entry >= PGLangStrEntryCount || PGLanguage > 5) return std::string();
  const TLangStrEntry& e = PGLangStrEntries[entry];
  const char* text = e.Texts[PGLanguage];
  // German, French, Dutch and Spanish texts are not provided: fall back to English.
  if (PGLanguage >= 1 && PGLanguage <= 4 && (!text || !*text)) text = e.Texts[0];
  return text ? std::string(text) : std::string();
}

std::string ReplaceFirst(std::string text, const std::string& placeholder,
                         const std::string& value) {
  const auto pos = text.find(placeholder);
  if (pos != std::string::npos) text.replace(pos, placeholder.size(), value);
  return text;
}

std::string FormatLangStr1(int entry, const std::string& s1) {
  return ReplaceFirst(GetLangStr(entry), "%S1", s1);
}

std::string FormatLangStr2(int entry, const std::string& s1, const std::string& s2) {
  return ReplaceFirst(FormatLangStr1(entry, s1), "%S2", s2);
}

std::string FormatLangStr3(int entry, const std::string& s1, const std::string& s2,
                           const std::string& s3) {
  return ReplaceFirst(FormatLangStr2(entry, s1, s2), "%S3", s3);
}

void CheckLangStrEntries(const TLangStrEntry* entries, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (entries[i].Number != static_cast<int>(i))
      throw EPixelGraphic("PGLangStrEntries order wrong " + std::to_string(i) + " and " +
                          std::to_string(entries[i].Number) + " are not identical");
  }
}

void CheckLangStrEntries() { CheckLangStrEntries(PGLangStrEntries, PGLangStrEntryCount); }
