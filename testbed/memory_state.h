// The inside of the in-memory machine, shared by its source files. Everything
// here is guarded by State::mu; functions named *Locked expect it held.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "testbed/memory_platform.h"
#include "testbed/memory_sync.h"

namespace vx {
namespace mem {

// The per-thread last error, as kernel32 keeps it in the thread's TEB.
void SetThreadError(std::uint32_t code);
std::uint32_t ThreadError();
// Whether the calling thread turned WOW64 file-system redirection off, also kept per thread.
void SetThreadRedirectionOff(bool off);
bool ThreadRedirectionOff();

// ---- Paths ---------------------------------------------------------------------------
// The calls refuse a path of more than 260 UTF-16 units (a character beyond
// the BMP counts as two) and a path that is no valid UTF-8.
constexpr std::size_t kMaxPathUnits = kMaxPath;

// Upper-cases ASCII letters only: no byte of a UTF-8 character outside ASCII
// is ever taken for a letter.
std::string FoldCase(const std::string& text);

struct ParsedPath {
  char drive = 0;                  // upper case
  std::vector<std::string> parts;  // components as written, "." and ".." resolved
};
// "X:\a\b" (either separator). Returns 0 or the Win32 error for the path.
// The calls refuse paths above 260 UTF-16 units and paths that are no UTF-8;
// the machine itself can hold deeper ones and names without a UTF-8 form (as
// NTFS does), so the builders pass limitLength = false.
std::uint32_t ParsePath(const char* path, ParsedPath* out, bool wildcardLast = false, bool limitLength = true);
// Windows wildcard match of one name ("*", "?", "*.*" = everything, "x.*" matches "x").
bool WildcardMatch(const std::string& pattern, const std::string& name);
// The 8.3 name Windows gives a name that is no legal 8.3 name itself
// ("Quellin__.ini" -> "QUELLI~1.INI"), else "". The machine numbers every one
// ~1; a listing matches its pattern against both names, as Windows does, so
// that "*.htm" also lists "page.html".
std::string ShortName(const std::string& name);

// ---- File tree -------------------------------------------------------------------------
struct Node {
  std::string name;
  bool folder = false;
  std::uint32_t attributes = 0;  // stored bits; folders always carry kAttrDirectory
  FileTime lastWrite = 0;
  std::string data;              // stored bytes; the rest up to size reads as zeros
  std::uint64_t size = 0;
  std::string linkTarget;        // non-empty: a folder link leading there
  std::uint32_t reparseTag = 0;  // with kAttrReparsePoint: the tag listings report
  bool volumeMount = false;      // a link that is a volume mounted into the folder
  std::string shortName;         // set by a test; else the one ShortName gives
  bool caseSensitive = false;    // a folder whose names differ in the case of their letters
  bool deletePending = false;    // deleted while open: goes with the last handle, refuses all else
  std::vector<std::shared_ptr<Node>> children;                     // in insertion order
  std::unordered_map<std::string, std::shared_ptr<Node>> byName;  // folded name, or as written

  bool IsLink() const { return !linkTarget.empty(); }
  std::string ShortName() const { return shortName.empty() ? mem::ShortName(name) : shortName; }
  std::string Key(const std::string& childName) const;  // of a child in byName
  std::shared_ptr<Node> Child(const std::string& name) const;
  void AddChild(std::shared_ptr<Node> child);
  void RemoveChild(const Node* child);
};

struct Drive {
  std::uint32_t type = kDriveFixed;
  std::shared_ptr<Node> root;
};

// ---- Open objects ----------------------------------------------------------------------
struct ThreadRecord {
  DoneSignal done;
};

struct Object {
  enum class Kind { File, Search, Snapshot, Process, Thread, Key } kind = Kind::File;
  // File
  std::shared_ptr<Node> node;
  std::uint32_t access = 0;
  std::uint32_t share = 0;
  std::uint64_t position = 0;
  // Search
  std::vector<FindData> entries;
  std::size_t next = 0;
  // Snapshot
  std::vector<std::pair<std::uint32_t, std::string>> processes;  // pid, image name
  // Process
  std::uint32_t pid = 0;
  // Thread
  std::shared_ptr<ThreadRecord> thread;
  // Key
  Handle root = 0;
  std::string keyPath;  // as stored, redirection applied
};

struct Process {
  std::string exeName;
  std::string imagePath;
  bool canOpen = true;
  bool canTerminate = true;
};

struct RegKey {
  std::string path;  // as first created
  std::map<std::string, std::pair<std::string, RegValueData>> values;  // folded name -> (name, value)
};

struct Fault {
  bool armed = false;
  int countdown = 0;
  std::uint32_t error = 0;
  bool persistent = false;
};

}  // namespace mem

struct MemoryPlatform::State {
  mem::Mutex mu;

  std::map<char, mem::Drive> drives;
  std::string systemDirectory = "C:\\windows\\system32";
  int timeZoneMinutes = 480;
  bool refusesProtected = true;

  std::map<Handle, mem::Object> handles;
  Handle nextHandle = 0x100;
  std::vector<std::pair<std::shared_ptr<mem::Node>, std::shared_ptr<mem::Node>>> pendingDeletes;  // folder, file

  std::map<std::uint32_t, mem::Process> processes;  // running, by pid
  std::uint32_t nextPid = 1000;
  std::vector<std::uint32_t> openProcessAccess;
  bool kernel32Loaded = true;
  std::vector<std::string> removedExports;
  bool wow64 = false;
  std::vector<std::shared_ptr<mem::ThreadRecord>> threads;
  std::uint32_t nextThreadId = 2000;

  std::map<std::pair<Handle, std::string>, mem::RegKey> registry;  // (root, folded path)
  bool registryWritable = true;
  std::vector<std::uint32_t> regAccess;

  std::uint64_t nowMs = 0;
  std::vector<std::uint32_t> sleeps;
  std::function<void(std::uint32_t)> onSleep;
  int timerDepth = 0;

  mem::Fault faults[static_cast<int>(Op::Count)];
  bool writeLimitArmed = false;
  std::uint64_t writeBytesLeft = 0;
  std::uint32_t writeLimitError = 0;
  bool writeLimitShort = false;
  int faultsFired = 0;
  int callCounts[static_cast<int>(Op::Count)] = {};
  bool tracing = false;
  std::vector<std::string> trace;

  // Counts and traces a call of op, then fires an injected fault if one is due:
  // true means the call must fail now with no effect (last error already set).
  bool BeginLocked(Op op, const std::string& argument);
  bool BeginLocked(Op op) { return BeginLocked(op, std::string()); }
  void TraceLocked(const std::string& line);
  Handle NewHandleLocked(mem::Object object);
  mem::Object* FindObjectLocked(Handle handle, mem::Object::Kind kind);
  FileTime NowFileTimeLocked() const;

  // Walks to the node a path names. followLast: a folder link at the end is
  // followed to its target. On failure returns null and sets *error
  // (ERROR_PATH_NOT_FOUND for a missing folder on the way, ERROR_FILE_NOT_FOUND
  // for a missing last component).
  std::shared_ptr<mem::Node> WalkLocked(char drive, const std::vector<std::string>& parts, std::size_t count,
                                        bool followLast, std::uint32_t* error, int depth = 0) const;
  std::shared_ptr<mem::Node> FindLocked(const std::string& path, bool followLast) const;
  // A 32-bit program's path under the system folder reaches SysWOW64 instead,
  // unless its thread turned redirection off; other machines and paths stay.
  void RedirectLocked(mem::ParsedPath* path) const;
  // Builders: folder of path, made with its parents; throws on a path the machine cannot hold.
  std::shared_ptr<mem::Node> EnsureFolderLocked(const mem::ParsedPath& path, std::size_t count);
  bool IsRunningImageLocked(const mem::Node* node) const;
  bool IsOpenLocked(const mem::Node* node) const;
  // Takes every file deleted while open out of its folder once no handle holds it.
  void FinishDeletesLocked();
  // Why an existing file refuses an open (attributes, running image, share
  // modes of the handles already open), or 0.
  std::uint32_t RefusalOfExistingLocked(const mem::Node& file, std::uint32_t access, std::uint32_t share,
                                        std::uint32_t disposition, std::uint32_t flags) const;
};

namespace mem {
std::uint32_t ReportedAttributes(const Node& node);
}  // namespace mem

}  // namespace vx
