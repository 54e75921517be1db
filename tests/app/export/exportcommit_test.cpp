// The lock of an export, checked at the moment a second export could slip
// in between: this program's flock, fsync and rename go through the probe of
// failing_disk.h (the export tests read its log of renames too).

#define FAILDISK_SYNC_PROBE

#include "app/export/exportcommit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/failing_disk.h"

namespace {

namespace fs = std::filesystem;

std::string RefusalOfASecondExport(const fs::path& dir) {
  try {
    TExportCommit second({dir.string(), "page"}, (dir / "page.html").string());
  } catch (const EExportError& e) {
    return e.what();
  }
  return "(taken)";
}

// The export that held the lock removed its file just after this one
// opened it, and a third made it anew: a lock on the removed file would
// keep no one out. The export notices and locks the file at the name.
TEST(ExportLock, LockFileReplacedBetweenOpenAndLockIsNoticed) {
  const fs::path dir = faildisk::ScratchDir("app");
  const fs::path lock = dir / ".page.tessel-lock";
  int locks = 0;
  faildisk::BeforeFlock = [&](int) {
    if (locks++ > 0) return;
    fs::remove(lock);
    std::ofstream(lock) << "";
  };
  {
    TExportCommit first({dir.string(), "page"}, (dir / "page.html").string());
    faildisk::BeforeFlock = nullptr;
    EXPECT_EQ(locks, 2);
    EXPECT_EQ(RefusalOfASecondExport(dir), "Another export to \"" + (dir / "page.html").string() +
                                               "\" is running; nothing was written. Try again when it has finished.");
  }
  // Released and removed with the first.
  EXPECT_FALSE(fs::exists(lock));
  EXPECT_EQ(RefusalOfASecondExport(dir), "(taken)");
}

}  // namespace
