#pragma once
// The settings store on QSettings: one INI file in the user's configuration
// directory (organisation "Corvane Mill", application "Tessel"). A key path
// and a section name become a group, the key path's and section's backslashes
// becoming group separators; a value name becomes a key in that group. Every
// store of the program shares the one file.

#include <QString>

#include <memory>
#include <stdexcept>

#include "app/common/settingsstore.h"

class QSettings;

class ESettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TQSettingsStore : public TSettingsStore {
 public:
  explicit TQSettingsStore(std::string keyPath);
  ~TQSettingsStore() override;

  // Raises ESettingsError when the file exists but cannot be read, or is not
  // a settings file at all. A damaged file is first moved aside (its name
  // plus ".damaged"), so that nothing of it is lost and the next write
  // starts a sound file; the store then reads as empty.
  void CheckReadable();
  // Writes what was changed; raises ESettingsError when the file could not
  // be written.
  void Flush();
  QString FileName() const;

 protected:
  std::optional<std::string> DoRead(const std::string& group, const std::string& name) override;
  void DoWrite(const std::string& group, const std::string& name,
               const std::string& value) override;
  void DoDelete(const std::string& group, const std::string& name) override;

 private:
  std::unique_ptr<QSettings> FSettings;
};

// Organisation and application name of the settings file.
inline constexpr const char* SettingsOrganisation = "Corvane Mill";
inline constexpr const char* SettingsApplication = "Tessel";
