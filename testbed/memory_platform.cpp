// The in-memory machine: construction, the builder and inspection calls, fault
// injection and tracing, and the small system calls that touch no object.
#include "testbed/memory_platform.h"

#include <chrono>
#include <cstring>
#include <stdexcept>

#include "testbed/memory_state.h"
#include "util/utf_convert.h"

namespace vx {

namespace mem {
namespace {
thread_local std::uint32_t lastError = 0;
thread_local bool redirectionOff = false;
}  // namespace
void SetThreadError(std::uint32_t code) { lastError = code; }
std::uint32_t ThreadError() { return lastError; }
void SetThreadRedirectionOff(bool off) { redirectionOff = off; }
bool ThreadRedirectionOff() { return redirectionOff; }
}  // namespace mem

using mem::Guard;
using mem::Node;

// ---- State helpers ------------------------------------------------------------------------

bool MemoryPlatform::State::BeginLocked(Op op, const std::string& argument) {
  int index = static_cast<int>(op);
  ++callCounts[index];
  if (tracing) TraceLocked(argument.empty() ? OpName(op) : std::string(OpName(op)) + " " + argument);
  mem::Fault& fault = faults[index];
  if (!fault.armed || --fault.countdown > 0) return false;
  if (!fault.persistent) fault.armed = false;
  ++faultsFired;
  mem::SetThreadError(fault.error);
  return true;
}

void MemoryPlatform::State::TraceLocked(const std::string& line) {
  if (tracing) trace.push_back(line);
}

Handle MemoryPlatform::State::NewHandleLocked(mem::Object object) {
  Handle handle = nextHandle;
  nextHandle += 4;
  handles.emplace(handle, std::move(object));
  return handle;
}

mem::Object* MemoryPlatform::State::FindObjectLocked(Handle handle, mem::Object::Kind kind) {
  auto it = handles.find(handle);
  if (it == handles.end() || it->second.kind != kind) return nullptr;
  return &it->second;
}

FileTime MemoryPlatform::State::NowFileTimeLocked() const {
  constexpr FileTime kTicksPerMs = 10000;
  constexpr FileTime kOneDay = 86400ull * 1000 * kTicksPerMs;
  return kDefaultTime + kOneDay + nowMs * kTicksPerMs;
}

// ---- Construction -------------------------------------------------------------------------

MemoryPlatform::MemoryPlatform() : s_(new State) {
  AddDrive('C', kDriveFixed);
  AddFolder("C:\\windows\\system32\\drivers");
}

MemoryPlatform::~MemoryPlatform() {
  // A worker started through CreateThread may still be running and calling in;
  // give it a bounded time to finish before the machine goes away under it.
  std::vector<std::shared_ptr<mem::ThreadRecord>> running;
  {
    Guard g(s_->mu);
    running = s_->threads;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (auto& thread : running) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    thread->done.Wait(left.count() > 0 ? static_cast<std::uint32_t>(left.count()) : 0);
  }
}

// ---- Building the machine -----------------------------------------------------------------

namespace {

mem::ParsedPath ParseOrThrow(const std::string& path) {
  mem::ParsedPath parsed;
  if (mem::ParsePath(path.c_str(), &parsed, false, false) != kErrorSuccess) {
    throw std::invalid_argument("not an absolute path the machine can hold: " + path);
  }
  return parsed;
}

// Attribute bits a file or folder can carry besides directory and link marks.
constexpr std::uint32_t kStorableAttributes = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive |
                                              kAttrTemporary | kAttrOffline | kAttrNotContentIndexed |
                                              kAttrRecallOnOpen | kAttrRecallOnDataAccess;

bool Refuse(std::uint32_t error) {
  mem::SetThreadError(error);
  return false;
}

}  // namespace

void MemoryPlatform::AddDrive(char letter, std::uint32_t type) {
  char upper = static_cast<char>(letter & ~0x20);
  if (upper < 'A' || upper > 'Z') throw std::invalid_argument("drive letter must be A..Z");
  Guard g(s_->mu);
  mem::Drive& drive = s_->drives[upper];
  drive.type = type;
  if (!drive.root) {
    drive.root = std::make_shared<Node>();
    drive.root->name = std::string(1, upper) + ":";
    drive.root->folder = true;
    drive.root->attributes = kAttrDirectory;
    drive.root->lastWrite = kDefaultTime;
  }
}

void MemoryPlatform::SetDriveType(char letter, std::uint32_t type) {
  Guard g(s_->mu);
  auto it = s_->drives.find(static_cast<char>(letter & ~0x20));
  if (it == s_->drives.end()) throw std::invalid_argument("no such drive");
  it->second.type = type;
}

void MemoryPlatform::AddFolder(const std::string& path, std::uint32_t attributes) {
  mem::ParsedPath parsed = ParseOrThrow(path);
  Guard g(s_->mu);
  std::shared_ptr<Node> folder = s_->EnsureFolderLocked(parsed, parsed.parts.size());
  if (!parsed.parts.empty()) folder->attributes = (attributes & kStorableAttributes) | kAttrDirectory;
}

void MemoryPlatform::AddFile(const std::string& path, const std::string& bytes, std::uint32_t attributes,
                             FileTime lastWrite) {
  mem::ParsedPath parsed = ParseOrThrow(path);
  if (parsed.parts.empty()) throw std::invalid_argument("a file needs a name: " + path);
  Guard g(s_->mu);
  std::shared_ptr<Node> parent = s_->EnsureFolderLocked(parsed, parsed.parts.size() - 1);
  std::shared_ptr<Node> file = parent->Child(parsed.parts.back());
  if (file && file->folder) throw std::invalid_argument("a folder stands there: " + path);
  if (!file) {
    file = std::make_shared<Node>();
    file->name = parsed.parts.back();
    parent->AddChild(file);
  }
  file->attributes = attributes & kStorableAttributes;
  file->data = bytes;
  file->size = bytes.size();
  file->lastWrite = lastWrite;
}

void MemoryPlatform::AddSparseFile(const std::string& path, std::uint64_t size, std::uint32_t attributes) {
  AddFile(path, std::string(), attributes);
  Guard g(s_->mu);
  s_->FindLocked(path, false)->size = size;
}

void MemoryPlatform::AddFolderLink(const std::string& path, const std::string& target, std::uint32_t tag) {
  mem::ParsedPath parsed = ParseOrThrow(path);
  ParseOrThrow(target);
  if (parsed.parts.empty()) throw std::invalid_argument("a link needs a name: " + path);
  Guard g(s_->mu);
  std::shared_ptr<Node> parent = s_->EnsureFolderLocked(parsed, parsed.parts.size() - 1);
  if (parent->Child(parsed.parts.back())) throw std::invalid_argument("already exists: " + path);
  auto link = std::make_shared<Node>();
  link->name = parsed.parts.back();
  link->folder = true;
  link->attributes = kAttrDirectory | kAttrReparsePoint;
  link->lastWrite = kDefaultTime;
  link->linkTarget = target;
  link->reparseTag = tag;
  parent->AddChild(link);
}

void MemoryPlatform::AddVolumeMountPoint(const std::string& path, const std::string& target) {
  AddFolderLink(path, target, kTagMountPoint);
  Guard g(s_->mu);
  s_->FindLocked(path, false)->volumeMount = true;
}

void MemoryPlatform::SetReparseTag(const std::string& path, std::uint32_t tag) {
  Guard g(s_->mu);
  std::shared_ptr<Node> node = s_->FindLocked(path, false);
  if (!node || node->IsLink()) throw std::invalid_argument("no ordinary entry " + path);
  node->attributes |= kAttrReparsePoint;
  node->reparseTag = tag;
}

void MemoryPlatform::SetShortName(const std::string& path, const std::string& shortName) {
  Guard g(s_->mu);
  std::shared_ptr<Node> node = s_->FindLocked(path, false);
  if (!node || shortName.size() > 12) throw std::invalid_argument("no entry or no 8.3 name: " + path);
  node->shortName = shortName;
}

void MemoryPlatform::SetCaseSensitive(const std::string& folder) {
  Guard g(s_->mu);
  std::shared_ptr<Node> node = s_->FindLocked(folder, true);
  if (!node || !node->folder) throw std::invalid_argument("no folder " + folder);
  node->caseSensitive = true;
  node->byName.clear();
  for (const auto& child : node->children) node->byName[node->Key(child->name)] = child;
}

void MemoryPlatform::SetSystemDirectory(const std::string& path) {
  Guard g(s_->mu);
  s_->systemDirectory = path;
}

void MemoryPlatform::SetTimeZoneOffsetMinutes(int minutes) {
  Guard g(s_->mu);
  s_->timeZoneMinutes = minutes;
}

void MemoryPlatform::SetRefusesProtectedFiles(bool refuses) {
  Guard g(s_->mu);
  s_->refusesProtected = refuses;
}

// ---- Looking at it ------------------------------------------------------------------------

bool MemoryPlatform::Exists(const std::string& path) const {
  Guard g(s_->mu);
  return s_->FindLocked(path, false) != nullptr;
}

bool MemoryPlatform::IsFolder(const std::string& path) const {
  Guard g(s_->mu);
  auto node = s_->FindLocked(path, false);
  return node && node->folder;
}

std::string MemoryPlatform::FileBytes(const std::string& path) const {
  Guard g(s_->mu);
  auto node = s_->FindLocked(path, false);
  if (!node || node->folder) return std::string();
  if (node->size > (1ull << 30)) throw std::length_error("FileBytes of a file above 1 GiB: " + path);
  std::string bytes = node->data;
  bytes.resize(static_cast<std::size_t>(node->size), '\0');
  return bytes;
}

std::uint64_t MemoryPlatform::FileSize(const std::string& path) const {
  Guard g(s_->mu);
  auto node = s_->FindLocked(path, false);
  return node && !node->folder ? node->size : 0;
}

std::uint32_t MemoryPlatform::Attributes(const std::string& path) const {
  Guard g(s_->mu);
  auto node = s_->FindLocked(path, false);
  return node ? mem::ReportedAttributes(*node) : kInvalidFileAttributes;
}

FileTime MemoryPlatform::LastWriteTime(const std::string& path) const {
  Guard g(s_->mu);
  auto node = s_->FindLocked(path, false);
  return node ? node->lastWrite : 0;
}

std::vector<std::string> MemoryPlatform::ListNames(const std::string& folder) const {
  Guard g(s_->mu);
  std::vector<std::string> names;
  auto node = s_->FindLocked(folder, true);
  if (node && node->folder) {
    for (const auto& child : node->children) names.push_back(child->name);
  }
  return names;
}

int MemoryPlatform::OpenHandleCount() const {
  Guard g(s_->mu);
  return static_cast<int>(s_->handles.size());
}

FileTime MemoryPlatform::NowFileTime() const {
  Guard g(s_->mu);
  return s_->NowFileTimeLocked();
}

// ---- Fault injection and tracing ----------------------------------------------------------

void MemoryPlatform::FailCall(Op op, int nth, std::uint32_t error, bool persistent) {
  if (static_cast<int>(op) < 0 || op >= Op::Count) throw std::invalid_argument("FailCall needs one operation");
  Guard g(s_->mu);
  mem::Fault& fault = s_->faults[static_cast<int>(op)];
  fault.armed = true;
  fault.countdown = nth < 1 ? 1 : nth;
  fault.error = error;
  fault.persistent = persistent;
}

void MemoryPlatform::FailWriteAfter(std::uint64_t bytes, std::uint32_t error, bool shortWrite) {
  Guard g(s_->mu);
  s_->writeLimitArmed = true;
  s_->writeBytesLeft = bytes;
  s_->writeLimitError = error;
  s_->writeLimitShort = shortWrite;
}

void MemoryPlatform::ClearFaults() {
  Guard g(s_->mu);
  for (auto& fault : s_->faults) fault = mem::Fault();
  s_->writeLimitArmed = false;
}

int MemoryPlatform::FaultsFired() const {
  Guard g(s_->mu);
  return s_->faultsFired;
}

int MemoryPlatform::CallCount(Op op) const {
  Guard g(s_->mu);
  int index = static_cast<int>(op);
  if (index >= 0 && index < static_cast<int>(Op::Count)) return s_->callCounts[index];
  int total = 0;  // Op::Count: every call of any operation
  for (int count : s_->callCounts) total += count;
  return total;
}

void MemoryPlatform::ResetCallCounts() {
  Guard g(s_->mu);
  for (auto& count : s_->callCounts) count = 0;
}

void MemoryPlatform::SetTracing(bool on) {
  Guard g(s_->mu);
  s_->tracing = on;
}

std::vector<std::string> MemoryPlatform::Trace() const {
  Guard g(s_->mu);
  return s_->trace;
}

void MemoryPlatform::ClearTrace() {
  Guard g(s_->mu);
  s_->trace.clear();
}

// ---- Last error, drives, system folder, case ----------------------------------------------

std::uint32_t MemoryPlatform::GetLastError() { return mem::ThreadError(); }

void MemoryPlatform::SetLastError(std::uint32_t code) { mem::SetThreadError(code); }

bool MemoryPlatform::GetVolumeNameForVolumeMountPointW(const char* mountPoint, char* volumeName,
                                                      std::uint32_t size) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::GetVolumeNameForVolumeMountPointW, mountPoint ? mountPoint : "")) return false;
  mem::ParsedPath parsed;
  std::uint32_t error = mem::ParsePath(mountPoint, &parsed);
  if (error != kErrorSuccess) return Refuse(error);
  const std::size_t length = std::strlen(mountPoint);
  if (length == 0 || mountPoint[length - 1] != '\\') return Refuse(kErrorInvalidName);
  s_->RedirectLocked(&parsed);
  auto node = s_->WalkLocked(parsed.drive, parsed.parts, parsed.parts.size(), false, &error);
  if (!node) return Refuse(error);
  // A drive root is where its volume is mounted too.
  if (!node->volumeMount && !parsed.parts.empty()) return Refuse(node->IsLink() ? kErrorInvalidParameter : kErrorNotAReparsePoint);
  const std::string name = "\\\\?\\Volume{00000000-0000-0000-0000-000000000001}\\";
  if (volumeName == nullptr || size <= name.size()) return Refuse(kErrorFilenameExcedRange);
  std::memcpy(volumeName, name.c_str(), name.size() + 1);
  return true;
}

std::uint32_t MemoryPlatform::GetDriveTypeA(const char* root) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::GetDriveTypeA, root ? root : "")) return kDriveUnknown;
  if (root == nullptr) return kDriveNoRootDir;
  std::size_t length = std::strlen(root);
  std::size_t units = Utf16Length(root);
  if (units == std::string::npos || units > mem::kMaxPathUnits) {
    mem::SetThreadError(units == std::string::npos ? kErrorInvalidName : kErrorFilenameExcedRange);
    return kDriveNoRootDir;
  }
  // Only a drive root names a drive: "X:\" (or "X:"); any deeper path has no root there.
  bool rootForm = (length == 2 || (length == 3 && (root[2] == '\\' || root[2] == '/'))) && root[1] == ':';
  if (!rootForm) return kDriveNoRootDir;
  auto it = s_->drives.find(static_cast<char>(root[0] & ~0x20));
  return it == s_->drives.end() ? kDriveNoRootDir : it->second.type;
}

std::uint32_t MemoryPlatform::GetSystemDirectoryA(char* buffer, std::uint32_t size) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::GetSystemDirectoryA)) return 0;
  const std::string& folder = s_->systemDirectory;
  if (folder.empty()) {
    mem::SetThreadError(kErrorPathNotFound);
    return 0;
  }
  auto length = static_cast<std::uint32_t>(folder.size());
  if (buffer == nullptr || size <= length) return length + 1;  // the size needed, zero included
  std::memcpy(buffer, folder.c_str(), length + 1);
  return length;
}

namespace {

// The small letters the machine upper-cases as CharUpperBuffW does, range by
// range: ASCII, Latin-1, Latin Extended-A and the pinyin vowels (where every
// other code is a small letter), three letters whose capitals lie in another
// block, Greek, Cyrillic, small Roman numerals and full-width Latin. Mappings
// that would fold a letter into ASCII ("ı", "ſ") the system does not make.
// Across blocks a character's UTF-8 length changes ("ɐ" two bytes, "Ɐ" three).
struct SmallLetters {
  char32_t first, last;
  std::int32_t toUpper;
  char32_t step;  // 2: only every other code from first is a small letter
};
const SmallLetters kSmallLetters[] = {
    {0x61, 0x7A, -0x20, 1},    {0xE0, 0xF6, -0x20, 1},    {0xF8, 0xFE, -0x20, 1},    {0xFF, 0xFF, 0x79, 1},
    {0x101, 0x12F, -1, 2},     {0x133, 0x137, -1, 2},     {0x13A, 0x148, -1, 2},     {0x14B, 0x177, -1, 2},
    {0x17A, 0x17E, -1, 2},     {0x1CE, 0x1DC, -1, 2},     {0x250, 0x250, 0x2A1F, 1}, {0x251, 0x251, 0x2A1C, 1},
    {0x2C65, 0x2C65, -0x2A2B, 1}, {0x3AC, 0x3AC, -0x26, 1}, {0x3AD, 0x3AF, -0x25, 1}, {0x3B1, 0x3C1, -0x20, 1},
    {0x3C3, 0x3CB, -0x20, 1},  {0x3CC, 0x3CC, -0x40, 1},  {0x3CD, 0x3CE, -0x3F, 1},  {0x430, 0x44F, -0x20, 1},
    {0x450, 0x45F, -0x50, 1},  {0x2170, 0x217F, -0x10, 1}, {0xFF41, 0xFF5A, -0x20, 1},
};

char16_t UpperUnit(char16_t unit) {
  for (const SmallLetters& r : kSmallLetters) {
    if (unit >= r.first && unit <= r.last && (unit - r.first) % r.step == 0) {
      return static_cast<char16_t>(unit + r.toUpper);
    }
  }
  return unit;
}

}  // namespace

// Through UTF-16 unit by unit, as the wide call works: a character beyond the
// BMP (two units) is left as it is.
std::uint32_t MemoryPlatform::CharUpperBuffA(const char* text, std::uint32_t length, char* upper,
                                             std::uint32_t size) {
  std::u16string wide;
  if (text == nullptr || !Utf8ToUtf16(std::string(text, length), &wide)) {
    mem::SetThreadError(kErrorNoUnicodeTranslation);
    return 0;
  }
  for (char16_t& unit : wide) unit = UpperUnit(unit);
  std::string result;
  Utf16ToUtf8(wide.data(), wide.size(), &result);
  auto bytes = static_cast<std::uint32_t>(result.size());
  if (upper == nullptr || size < bytes) return bytes;  // the size needed
  std::memcpy(upper, result.data(), bytes);
  return bytes;
}

}  // namespace vx
