// The contract's bed on the real system: the Win32 adapter that the test
// program's main installs, a scratch folder under the temp folder, a registry
// key of this run's own, and the test program itself as the running program.
// The helpers go straight to Win32 so that they do not lean on the adapter
// they help to test.
#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/contract/contract_bed.h"
#include "tests/win32/win32_test_support.h"

namespace vxcontract {
namespace {

HKEY Key(vx::Handle root) { return reinterpret_cast<HKEY>(root); }

void DeleteKeyTree(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  std::vector<std::string> children;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (::RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    children.emplace_back(name, size);
  }
  ::RegCloseKey(key);
  for (const std::string& child : children) DeleteKeyTree(root, path + "\\" + child);
  ::RegDeleteKeyA(root, path.c_str());
}

class Win32Bed : public Bed {
 public:
  Win32Bed() {
    static int made = 0;
    key_ = std::string(kKeyParent) + "\\k" + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(++made);
    path_ = vxtest::SelfPath();
  }
  ~Win32Bed() override {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      DeleteKeyTree(root, key_);
      ::RegDeleteKeyA(root, kKeyParent);  // only once no other run's key is left in it
    }
  }

  const std::string& Scratch() const override { return dir_.path(); }
  const std::string& ScratchKey() const override { return key_; }
  std::uint32_t ProgramId() const override { return ::GetCurrentProcessId(); }
  const std::string& ProgramPath() const override { return path_; }

  void MakeFolder(const std::string& path) override {
    if (!::CreateDirectoryW(vxtest::Wide(path).c_str(), nullptr)) throw std::runtime_error("cannot make folder " + path);
  }

  bool PutUnpairedSurrogateName(const std::string& folder, const std::string& rest) override {
    std::wstring path = vxtest::Wide(folder) + L"\\" + wchar_t(0xD800) + vxtest::Wide(rest);
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h != INVALID_HANDLE_VALUE && ::CloseHandle(h);
  }

  void SetLastWriteTime(const std::string& path, vx::FileTime utc) override {
    if (!vxtest::SetLastWriteTime(path, utc)) throw std::runtime_error("cannot date " + path);
  }

  bool ReadDword(vx::Handle root, const std::string& key, const std::string& name,
                 std::uint32_t* value) const override {
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(Key(root), key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    DWORD type = 0, data = 0, size = sizeof data;
    LONG rc = ::RegQueryValueExA(opened, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    ::RegCloseKey(opened);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data) return false;
    *value = data;
    return true;
  }

 private:
  static constexpr const char* kKeyParent = "Software\\VxContract";
  vxtest::TempDir dir_;
  std::string key_;
  std::string path_;
};

}  // namespace

std::unique_ptr<Bed> MakeBed() { return std::make_unique<Win32Bed>(); }

}  // namespace vxcontract
