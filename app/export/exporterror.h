#pragma once
// The failure of an export for a reason of its own, apart from the files
// and the image library: another export of the page running, the source
// among the outputs, memory run out, options that cannot be met.

#include <stdexcept>

class EExportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An output the export may not write: the source image, a file another
// page of the folder wrote, two outputs of one name.
class EOutputRefused : public EExportError {
 public:
  using EExportError::EExportError;
};

// Another export holds the page's lock: the same export may succeed later.
class EExportBusy : public EExportError {
 public:
  using EExportError::EExportError;
};
