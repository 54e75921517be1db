#include "pgraphic/core/library.h"

#include <mutex>

#include "pgraphic/core/messages.h"
#include "pgraphic/core/settings.h"

TPGLibrarySettings& PGSettings() {
  static TPGLibrarySettings settings;
  return settings;
}

void PGLibraryInit() {
  static std::once_flag once;
  std::call_once(once, [] { CheckLangStrEntries(); });
}
