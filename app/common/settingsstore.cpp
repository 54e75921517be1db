#include "app/common/settingsstore.h"

std::optional<std::string> TSettingsStore::ReadString(const std::string& section,
                                                      const std::string& name) {
  return DoRead(GroupOf(section), name);
}

void TSettingsStore::WriteString(const std::string& section, const std::string& name,
                                 const std::string& value) {
  DoWrite(GroupOf(section), name, value);
}

bool TSettingsStore::ReadBool(const std::string& section, const std::string& name,
                              bool defaultValue) {
  const std::optional<std::string> text = ReadString(section, name);
  if (text == "1") return true;
  if (text == "0") return false;
  return defaultValue;
}

void TSettingsStore::WriteBool(const std::string& section, const std::string& name, bool value) {
  WriteString(section, name, value ? "1" : "0");
}

void TSettingsStore::DeleteValue(const std::string& section, const std::string& name) {
  DoDelete(GroupOf(section), name);
}

TMemorySettingsStore::TMemorySettingsStore(std::string keyPath,
                                           std::shared_ptr<TSettingsData> data)
    : TSettingsStore(std::move(keyPath)),
      FData(data ? std::move(data) : std::make_shared<TSettingsData>()) {}

std::optional<std::string> TMemorySettingsStore::DoRead(const std::string& group,
                                                        const std::string& name) {
  const auto g = FData->find(group);
  if (g == FData->end()) return std::nullopt;
  const auto v = g->second.find(name);
  if (v == g->second.end()) return std::nullopt;
  return v->second;
}

void TMemorySettingsStore::DoWrite(const std::string& group, const std::string& name,
                                   const std::string& value) {
  (*FData)[group][name] = value;
}

void TMemorySettingsStore::DoDelete(const std::string& group, const std::string& name) {
  const auto g = FData->find(group);
  if (g != FData->end()) g->second.erase(name);
}
