// The registry of the in-memory machine: keys under the predefined roots,
// named values, and the WOW64 view a 32-bit program gets of HKLM\SOFTWARE.
#include "testbed/memory_state.h"

namespace vx {

using mem::Guard;
using mem::Object;

namespace {

bool IsPredefinedRoot(Handle key) { return key >= kHkeyClassesRoot && key <= kHkeyDynData; }

std::int32_t Fail(std::uint32_t error) {
  mem::SetThreadError(error);
  return static_cast<std::int32_t>(error);
}

// "a\\b\" -> "a\b": empty components dropped.
std::string CleanKeyPath(const std::string& path) {
  std::string out;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) out += (out.empty() ? "" : "\\") + path.substr(start, end - start);
    start = end + 1;
  }
  return out;
}

std::string JoinKeyPath(const std::string& base, const std::string& sub) {
  if (base.empty()) return sub;
  return sub.empty() ? base : base + "\\" + sub;
}

// A 32-bit program on a 64-bit system sees HKLM\SOFTWARE\X at HKLM\SOFTWARE\WOW6432Node\X.
std::string Wow64View(const std::string& path) {
  const std::string software = "SOFTWARE\\";
  std::string folded = mem::FoldCase(path);
  if (folded.compare(0, software.size(), software) != 0) return path;
  if (folded.compare(software.size(), 11, "WOW6432NODE") == 0) return path;
  return path.substr(0, software.size()) + "WOW6432Node\\" + path.substr(software.size());
}

using Registry = std::map<std::pair<Handle, std::string>, mem::RegKey>;

// The key at path, made with every missing level above it.
mem::RegKey& MakeKey(Registry& registry, Handle root, const std::string& path, bool* created) {
  std::size_t end = 0;
  *created = false;
  do {
    end = path.find('\\', end + 1);
    std::string prefix = path.substr(0, end);
    auto key = std::make_pair(root, mem::FoldCase(prefix));
    if (!registry.count(key)) {
      registry[key].path = prefix;
      *created = true;
    }
  } while (end != std::string::npos);
  return registry[std::make_pair(root, mem::FoldCase(path))];
}

}  // namespace

// ---- Inspection -----------------------------------------------------------------------------

bool MemoryPlatform::RegKeyExists(Handle root, const std::string& keyPath) const {
  Guard g(s_->mu);
  std::string path = CleanKeyPath(keyPath);
  return path.empty() || s_->registry.count(std::make_pair(root, mem::FoldCase(path))) != 0;
}

std::optional<RegValueData> MemoryPlatform::RegValue(Handle root, const std::string& keyPath,
                                                     const std::string& name) const {
  Guard g(s_->mu);
  auto key = s_->registry.find(std::make_pair(root, mem::FoldCase(CleanKeyPath(keyPath))));
  if (key == s_->registry.end()) return std::nullopt;
  auto value = key->second.values.find(mem::FoldCase(name));
  if (value == key->second.values.end()) return std::nullopt;
  return value->second.second;
}

void MemoryPlatform::SetRegValue(Handle root, const std::string& keyPath, const std::string& name,
                                 RegValueData value) {
  Guard g(s_->mu);
  bool created = false;
  mem::RegKey& key = MakeKey(s_->registry, root, CleanKeyPath(keyPath), &created);
  key.values[mem::FoldCase(name)] = std::make_pair(name, std::move(value));
}

void MemoryPlatform::SetRegistryWritable(bool writable) {
  Guard g(s_->mu);
  s_->registryWritable = writable;
}

std::vector<std::uint32_t> MemoryPlatform::RegAccessSeen() const {
  Guard g(s_->mu);
  return s_->regAccess;
}

// ---- advapi32 -----------------------------------------------------------------------------------

std::int32_t MemoryPlatform::RegCreateKeyExA(Handle root, const char* subKey, std::uint32_t /*options*/,
                                             std::uint32_t access, Handle* key, std::uint32_t* disposition) {
  Guard g(s_->mu);
  s_->regAccess.push_back(access);
  if (s_->BeginLocked(Op::RegCreateKeyExA, subKey ? subKey : "")) return static_cast<std::int32_t>(mem::ThreadError());
  if (key == nullptr) return Fail(kErrorInvalidParameter);
  if (subKey != nullptr && subKey[0] == '\\') return Fail(kErrorBadPathname);
  Handle base = root;
  std::string basePath;
  if (!IsPredefinedRoot(root)) {
    Object* open = s_->FindObjectLocked(root, Object::Kind::Key);
    if (open == nullptr) return Fail(kErrorInvalidHandle);
    base = open->root;
    basePath = open->keyPath;
  }
  std::string path = JoinKeyPath(basePath, CleanKeyPath(subKey ? subKey : ""));
  if (s_->wow64 && base == kHkeyLocalMachine && !(access & kKeyWow64_64Key)) path = Wow64View(path);
  if (!s_->registryWritable) return Fail(kErrorAccessDenied);
  bool created = false;
  if (!path.empty()) MakeKey(s_->registry, base, path, &created);
  Object open;
  open.kind = Object::Kind::Key;
  open.root = base;
  open.keyPath = path;
  open.access = access;
  *key = s_->NewHandleLocked(std::move(open));
  if (disposition) *disposition = created ? kRegCreatedNewKey : kRegOpenedExistingKey;
  return kErrorSuccess;
}

std::int32_t MemoryPlatform::RegSetValueExA(Handle key, const char* valueName, std::uint32_t type, const void* data,
                                            std::uint32_t size) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::RegSetValueExA, valueName ? valueName : "")) {
    return static_cast<std::int32_t>(mem::ThreadError());
  }
  Handle root = key;
  std::string path;
  if (!IsPredefinedRoot(key)) {
    Object* open = s_->FindObjectLocked(key, Object::Kind::Key);
    if (open == nullptr) return Fail(kErrorInvalidHandle);
    if (!(open->access & (kKeySetValue | kGenericWrite | kGenericAll | kMaximumAllowed))) {
      return Fail(kErrorAccessDenied);
    }
    root = open->root;
    path = open->keyPath;
  }
  if (data == nullptr && size > 0) return Fail(kErrorInvalidParameter);
  bool created = false;
  mem::RegKey& stored = MakeKey(s_->registry, root, path, &created);
  std::string name = valueName ? valueName : "";
  RegValueData value{type, std::string(static_cast<const char*>(data), data ? size : 0)};
  stored.values[mem::FoldCase(name)] = std::make_pair(name, std::move(value));
  return kErrorSuccess;
}

std::int32_t MemoryPlatform::RegCloseKey(Handle key) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::RegCloseKey)) return static_cast<std::int32_t>(mem::ThreadError());
  if (IsPredefinedRoot(key)) return kErrorSuccess;
  if (s_->FindObjectLocked(key, Object::Kind::Key) == nullptr) return Fail(kErrorInvalidHandle);
  s_->handles.erase(key);
  return kErrorSuccess;
}

}  // namespace vx
