#include <algorithm>
#include <map>
#include <mutex>
#include <variant>

#include "rt/registry.h"
#include "rt/registry_path.h"

namespace corvane {
namespace {

struct NoCaseLess {
  static char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
  bool operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
  }
};

using Value = std::variant<std::string, int32_t>;

struct Key {
  std::map<std::string, Value, NoCaseLess> values;
};

// Keys by their full path "<root>\a\b"; a key's parents exist whenever it does.
struct Tree {
  std::mutex mutex;
  std::map<std::string, Key, NoCaseLess> keys;
};

Tree& TheTree() {
  static Tree* tree = new Tree;  // never destroyed: threads may use it during exit
  return *tree;
}

std::string RootName(RegistryRoot root) {
  return std::to_string(static_cast<uint32_t>(root));
}

std::string FullPath(RegistryRoot root, const std::string& path) {
  return path.empty() ? RootName(root) : RootName(root) + "\\" + path;
}

std::string InvalidType(const std::string& name) {
  return "Invalid data type for '" + name + "'";
}

}  // namespace
}  // namespace corvane

using corvane::TheTree;

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate) {
  const std::string path = Resolve(Key);
  auto& tree = TheTree();
  std::lock_guard<std::mutex> lock(tree.mutex);
  const std::string full = corvane::FullPath(root_, path);
  if (!path.empty() && !tree.keys.count(full)) {
    if (!CanCreate) return false;
    // Every parent comes into being with the key, as in a real registry.
    for (size_t cut = full.find('\\'); cut != std::string::npos; cut = full.find('\\', cut + 1))
      tree.keys[full.substr(0, cut)];
    tree.keys[full];
  }
  path_ = path;
  return true;
}

bool TRegistry::KeyExists(const std::string& Key) const {
  auto& tree = TheTree();
  std::lock_guard<std::mutex> lock(tree.mutex);
  const std::string path = Resolve(Key);
  return path.empty() || tree.keys.count(corvane::FullPath(root_, path)) > 0;
}

bool TRegistry::DeleteKey(const std::string& Key) {
  const std::string path = Resolve(Key);
  if (path.empty()) return false;  // a root key cannot be deleted
  auto& tree = TheTree();
  std::lock_guard<std::mutex> lock(tree.mutex);
  const std::string full = corvane::FullPath(root_, path);
  if (!tree.keys.erase(full)) return false;
  // Sub-keys share the prefix "<key>\", so they form one run in the sorted map.
  const std::string prefix = full + "\\";
  auto it = tree.keys.lower_bound(prefix);
  while (it != tree.keys.end() && it->first.size() >= prefix.size() &&
         !corvane::NoCaseLess()(it->first.substr(0, prefix.size()), prefix))
    it = tree.keys.erase(it);
  return true;
}

std::variant<std::string, int32_t>* TRegistry::FindValue(const std::string& name,
                                                         bool create) const {
  auto& tree = TheTree();
  const std::string full = corvane::FullPath(root_, path_);
  auto key = tree.keys.find(full);
  if (key == tree.keys.end()) {
    // Root keys always exist; an opened key may have been deleted meanwhile.
    if (!path_.empty()) {
      if (create) throw corvane::ERegistryException("Failed to set data for '" + name + "'");
      return nullptr;
    }
    if (!create) return nullptr;
    key = tree.keys.emplace(full, corvane::Key{}).first;
  }
  auto value = key->second.values.find(name);
  if (value == key->second.values.end()) {
    if (!create) return nullptr;
    value = key->second.values.emplace(name, corvane::Value{}).first;
  }
  return &value->second;
}

void TRegistry::WriteString(const std::string& Name, const std::string& Value) {
  std::lock_guard<std::mutex> lock(TheTree().mutex);
  *FindValue(Name, true) = Value;
}

void TRegistry::WriteInteger(const std::string& Name, int32_t Value) {
  std::lock_guard<std::mutex> lock(TheTree().mutex);
  *FindValue(Name, true) = Value;
}

std::string TRegistry::ReadString(const std::string& Name) const {
  std::lock_guard<std::mutex> lock(TheTree().mutex);
  const corvane::Value* value = FindValue(Name, false);
  if (!value) return "";
  if (const auto* text = std::get_if<std::string>(value)) return *text;
  throw corvane::ERegistryException(corvane::InvalidType(Name));
}

int32_t TRegistry::ReadInteger(const std::string& Name) const {
  std::lock_guard<std::mutex> lock(TheTree().mutex);
  const corvane::Value* value = FindValue(Name, false);
  if (const auto* number = value ? std::get_if<int32_t>(value) : nullptr) return *number;
  throw corvane::ERegistryException(corvane::InvalidType(Name));
}

bool TRegistry::ValueExists(const std::string& Name) const {
  std::lock_guard<std::mutex> lock(TheTree().mutex);
  return FindValue(Name, false) != nullptr;
}

bool TRegistry::DeleteValue(const std::string& Name) {
  auto& tree = TheTree();
  std::lock_guard<std::mutex> lock(tree.mutex);
  const auto key = tree.keys.find(corvane::FullPath(root_, path_));
  return key != tree.keys.end() && key->second.values.erase(Name) > 0;
}
