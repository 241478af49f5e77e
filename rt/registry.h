#pragma once
// The registry object: text and integer values under keys of a tree. On Windows that is
// the system registry; on Linux the tree lives in the process (shared by every TRegistry,
// gone at exit), which is all the port's settings persistence needs from it. Key and value names match without regard to ASCII
// case; "\" separates key names. Safe to use from several threads.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <variant>

namespace corvane {

class ERegistryException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class RegistryRoot : uint32_t {
  ClassesRoot = 0x80000000,
  CurrentUser = 0x80000001,
  LocalMachine = 0x80000002,
  Users = 0x80000003,
  CurrentConfig = 0x80000005,
};

}  // namespace corvane

class TRegistry {
 public:
  corvane::RegistryRoot RootKey() const { return root_; }
  // Closes the current key.
  void SetRootKey(corvane::RegistryRoot root);

  // Key starting with "\" is taken from the root, otherwise from the current key. False
  // when the key does not exist and CanCreate is false.
  bool OpenKey(const std::string& Key, bool CanCreate);
  // Values then go to the root key itself.
  void CloseKey();
  // The open key's path from the root, without a leading "\"; empty when none is open.
  const std::string& CurrentPath() const { return path_; }
  bool KeyExists(const std::string& Key) const;
  // Removes the key with its values and sub-keys; false when it did not exist.
  bool DeleteKey(const std::string& Key);

  void WriteString(const std::string& Name, const std::string& Value);
  void WriteInteger(const std::string& Name, int32_t Value);
  // "" for a missing value; ERegistryException for a value stored as an integer.
  std::string ReadString(const std::string& Name) const;
  // ERegistryException "Invalid data type for '<Name>'" for a missing value or one stored
  // as text.
  int32_t ReadInteger(const std::string& Name) const;
  bool ValueExists(const std::string& Name) const;
  bool DeleteValue(const std::string& Name);

 private:
  std::string Resolve(const std::string& key) const;
  // The named value of the current key, made when create is set; expects the tree's lock.
  std::variant<std::string, int32_t>* FindValue(const std::string& name, bool create) const;

  corvane::RegistryRoot root_ = corvane::RegistryRoot::CurrentUser;
  std::string path_;
};
