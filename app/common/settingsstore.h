#pragma once
// The settings store: a key path (e.g. "Software\Corvane Mill") plus a
// section name select a group; a value name selects a text value in it.
// The window uses a persistent implementation; TMemorySettingsStore keeps
// everything in memory for headless use and tests.

#include <map>
#include <memory>
#include <optional>
#include <string>

class TSettingsStore {
 public:
  explicit TSettingsStore(std::string keyPath) : FKeyPath(std::move(keyPath)) {}
  virtual ~TSettingsStore() = default;

  const std::string& KeyPath() const { return FKeyPath; }
  // The group that holds a section's values: key path, backslash, section.
  std::string GroupOf(const std::string& section) const { return FKeyPath + "\\" + section; }

  std::optional<std::string> ReadString(const std::string& section, const std::string& name);
  void WriteString(const std::string& section, const std::string& name, const std::string& value);
  // Booleans are stored as "1" and "0"; anything else reads as the default.
  bool ReadBool(const std::string& section, const std::string& name, bool defaultValue);
  void WriteBool(const std::string& section, const std::string& name, bool value);
  void DeleteValue(const std::string& section, const std::string& name);

 protected:
  virtual std::optional<std::string> DoRead(const std::string& group, const std::string& name) = 0;
  virtual void DoWrite(const std::string& group, const std::string& name,
                       const std::string& value) = 0;
  virtual void DoDelete(const std::string& group, const std::string& name) = 0;

 private:
  std::string FKeyPath;
};

// Groups of values in memory; several stores may share one, as several
// keys of the same user registry do.
using TSettingsData = std::map<std::string, std::map<std::string, std::string>>;

class TMemorySettingsStore : public TSettingsStore {
 public:
  TMemorySettingsStore(std::string keyPath, std::shared_ptr<TSettingsData> data);
  const TSettingsData& Data() const { return *FData; }

 protected:
  std::optional<std::string> DoRead(const std::string& group, const std::string& name) override;
  void DoWrite(const std::string& group, const std::string& name,
               const std::string& value) override;
  void DoDelete(const std::string& group, const std::string& name) override;

 private:
  std::shared_ptr<TSettingsData> FData;
};
