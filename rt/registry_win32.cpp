#include <windows.h>

#include <cstdint>

#include "rt/registry.h"

namespace corvane {
namespace {

// An open registry key, closed with the object.
class OpenedKey {
 public:
  enum Use { Read, Write, Create };
  // A key opened for reading where only reading is done: a normal user may read keys of
  // HKEY_LOCAL_MACHINE but not write them.
  OpenedKey(RegistryRoot root, const std::string& path, Use use) {
    const HKEY parent = reinterpret_cast<HKEY>(static_cast<uintptr_t>(root));
    const REGSAM access = use == Read ? KEY_READ : KEY_READ | KEY_WRITE;
    const LONG r = use == Create ? RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, access,
                                                   nullptr, &key_, nullptr)
                                 : RegOpenKeyExA(parent, path.c_str(), 0, access, &key_);
    if (r != ERROR_SUCCESS) key_ = nullptr;
  }
  ~OpenedKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;
  explicit operator bool() const { return key_ != nullptr; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

std::string InvalidType(const std::string& name) {
  return "Invalid data type for '" + name + "'";
}

void Check(LONG result, const std::string& what) {
  if (result != ERROR_SUCCESS) throw ERegistryException("Failed to set data for '" + what + "'");
}

}  // namespace
}  // namespace corvane

using corvane::OpenedKey;

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate) {
  const std::string path = Resolve(Key);
  if (!path.empty() && !OpenedKey(root_, path, CanCreate ? OpenedKey::Create : OpenedKey::Read))
    return false;
  path_ = path;
  return true;
}

bool TRegistry::KeyExists(const std::string& Key) const {
  const std::string path = Resolve(Key);
  return path.empty() || static_cast<bool>(OpenedKey(root_, path, OpenedKey::Read));
}

bool TRegistry::DeleteKey(const std::string& Key) {
  const std::string path = Resolve(Key);
  if (path.empty()) return false;  // a root key cannot be deleted
  const HKEY root = reinterpret_cast<HKEY>(static_cast<uintptr_t>(root_));
  // Given a sub-key's name, the key goes with everything below it.
  return RegDeleteTreeA(root, path.c_str()) == ERROR_SUCCESS;
}

// Values go to the open key as it is: one deleted meanwhile refuses them.
void TRegistry::WriteString(const std::string& Name, const std::string& Value) {
  OpenedKey key(root_, path_, OpenedKey::Write);
  // The stored text ends with its terminator, as the registry's text values do.
  corvane::Check(key ? RegSetValueExA(key.get(), Name.c_str(), 0, REG_SZ,
                                      reinterpret_cast<const BYTE*>(Value.c_str()),
                                      static_cast<DWORD>(Value.size() + 1))
                     : ERROR_CANTOPEN,
                 Name);
}

void TRegistry::WriteInteger(const std::string& Name, int32_t Value) {
  OpenedKey key(root_, path_, OpenedKey::Write);
  const DWORD data = static_cast<DWORD>(Value);
  corvane::Check(key ? RegSetValueExA(key.get(), Name.c_str(), 0, REG_DWORD,
                                      reinterpret_cast<const BYTE*>(&data), sizeof data)
                     : ERROR_CANTOPEN,
                 Name);
}

std::string TRegistry::ReadString(const std::string& Name) const {
  OpenedKey key(root_, path_, OpenedKey::Read);
  DWORD type = 0, size = 0;
  if (!key ||
      RegQueryValueExA(key.get(), Name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return "";
  if (type != REG_SZ && type != REG_EXPAND_SZ)
    throw corvane::ERegistryException(corvane::InvalidType(Name));
  std::string value(size, '\0');
  if (RegQueryValueExA(key.get(), Name.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS)
    return "";
  value.resize(size);
  while (!value.empty() && value.back() == '\0') value.pop_back();
  return value;
}

int32_t TRegistry::ReadInteger(const std::string& Name) const {
  OpenedKey key(root_, path_, OpenedKey::Read);
  DWORD type = 0, data = 0, size = sizeof data;
  if (!key ||
      RegQueryValueExA(key.get(), Name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data),
                       &size) != ERROR_SUCCESS ||
      type != REG_DWORD)
    throw corvane::ERegistryException(corvane::InvalidType(Name));
  return static_cast<int32_t>(data);
}

bool TRegistry::ValueExists(const std::string& Name) const {
  OpenedKey key(root_, path_, OpenedKey::Read);
  return key && RegQueryValueExA(key.get(), Name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
                    ERROR_SUCCESS;
}

bool TRegistry::DeleteValue(const std::string& Name) {
  OpenedKey key(root_, path_, OpenedKey::Write);
  return key && RegDeleteValueA(key.get(), Name.c_str()) == ERROR_SUCCESS;
}
