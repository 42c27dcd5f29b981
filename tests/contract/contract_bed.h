// The ground one run of the platform contract stands on. The contract states
// the Windows facts the engine relies on once, against vx::Platform; each side
// supplies a bed for it: the in-memory machine in the native unit tests, the
// Win32 adapter in the Windows test program that runs under Wine.
//
// Drive letters every bed guarantees: C: is a fixed drive that holds the
// scratch folders and the system folder "C:\windows\system32" with its
// "drivers" subfolder; Q: does not exist.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace vxcontract {

class Bed {
 public:
  virtual ~Bed() = default;

  // A fresh, empty folder on drive C:, written without a final "\"; it goes
  // away with the bed, whatever the test left in it.
  virtual const std::string& Scratch() const = 0;
  // A registry path under "Software" of this bed's own, under both
  // HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE; removed with the bed.
  virtual const std::string& ScratchKey() const = 0;
  // A running program the process list must show: its id, and the full path
  // of its program file, whose last part is the image name the list shows.
  virtual std::uint32_t ProgramId() const = 0;
  virtual const std::string& ProgramPath() const = 0;

  // What the seam itself has no call for.
  virtual void MakeFolder(const std::string& path) = 0;
  virtual void SetLastWriteTime(const std::string& path, vx::FileTime utc) = 0;
  // Puts an empty file into folder whose name is an unpaired surrogate and
  // then rest: a name NTFS allows that has no UTF-8 form. False where the
  // platform cannot make one.
  virtual bool PutUnpairedSurrogateName(const std::string& folder, const std::string& rest) = 0;
  // The REG_DWORD value stored under root\key; false when there is none.
  virtual bool ReadDword(vx::Handle root, const std::string& key, const std::string& name,
                         std::uint32_t* value) const = 0;
};

// Installs the platform under test as vx::Sys() and makes a fresh bed on it;
// defined once for each side.
std::unique_ptr<Bed> MakeBed();

}  // namespace vxcontract
