#include "pgraphic/core/library.h"

#include <mutex>

#include "pgraphic/core/messages.h"
#include "pgraphic/core/settings.h"

namespace {
thread_local TPGLibrarySettings* ThreadSettings = nullptr;
}  // namespace

TPGLibrarySettings& PGSettings() {
  static TPGLibrarySettings settings;
  return ThreadSettings ? *ThreadSettings : settings;
}

TPGThreadSettings::TPGThreadSettings(const TPGLibrarySettings& settings)
    : Settings(settings), FOuter(ThreadSettings) {
  ThreadSettings = &Settings;
}

TPGThreadSettings::~TPGThreadSettings() { ThreadSettings = FOuter; }

void PGLibraryInit() {
  static std::once_flag once;
  std::call_once(once, [] { CheckLangStrEntries(); });
}
