// The contract's bed on the in-memory machine: a fresh machine per test, as
// it comes (drive C:, the system folder), with one running program.
#include <stdexcept>

#include "testbed/memory_platform.h"
#include "tests/contract/contract_bed.h"

namespace vxcontract {
namespace {

class MemoryBed : public Bed {
 public:
  MemoryBed() {
    vx::SetPlatform(&machine_);
    machine_.AddFolder(scratch_);
    programId_ = machine_.AddProcess("unit_tests.exe", path_);
  }
  ~MemoryBed() override { vx::SetPlatform(nullptr); }

  const std::string& Scratch() const override { return scratch_; }
  const std::string& ScratchKey() const override { return key_; }
  std::uint32_t ProgramId() const override { return programId_; }
  const std::string& ProgramPath() const override { return path_; }

  void MakeFolder(const std::string& path) override { machine_.AddFolder(path); }

  // The machine holds the name in the UTF-8 way of writing a surrogate (ED A0 80),
  // which is no UTF-8 either.
  bool PutUnpairedSurrogateName(const std::string& folder, const std::string& rest) override {
    machine_.AddFile(folder + "\\\xED\xA0\x80" + rest, "");
    return true;
  }

  void SetLastWriteTime(const std::string& path, vx::FileTime utc) override {
    if (!machine_.Exists(path) || machine_.IsFolder(path)) throw std::invalid_argument("no file " + path);
    machine_.AddFile(path, machine_.FileBytes(path), machine_.Attributes(path), utc);
  }

  bool ReadDword(vx::Handle root, const std::string& key, const std::string& name,
                 std::uint32_t* value) const override {
    auto stored = machine_.RegValue(root, key, name);
    if (!stored || stored->type != vx::kRegDword || stored->data.size() != sizeof *value) return false;
    *value = 0;
    for (int i = 3; i >= 0; --i) *value = (*value << 8) | static_cast<unsigned char>(stored->data[i]);
    return true;
  }

 private:
  vx::MemoryPlatform machine_;
  std::string scratch_ = "C:\\scratch";
  std::string key_ = "Software\\VxContract";
  std::string path_ = "C:\\tests\\unit_tests.exe";
  std::uint32_t programId_ = 0;
};

}  // namespace

std::unique_ptr<Bed> MakeBed() { return std::make_unique<MemoryBed>(); }

}  // namespace vxcontract
