// Paths, names and the folder tree of the in-memory machine.
#include <cstring>
#include <stdexcept>

#include "testbed/memory_state.h"
#include "util/utf_convert.h"

namespace vx {
namespace mem {

std::string FoldCase(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

namespace {

constexpr const char* kNotInShortNames = "+,;=[]";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

bool HasBadNameChar(const std::string& part, bool allowWildcards) {
  for (unsigned char c : part) {
    if (c < 0x20 || std::strchr("<>:\"|", c) != nullptr) return true;
    if (!allowWildcards && (c == '*' || c == '?')) return true;
  }
  return false;
}

// One character per element: its UTF-8 bytes, a lead byte and its continuations.
std::vector<std::string> Characters(const std::string& text) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = 1;
    while (i + n < text.size() && IsContinuation(static_cast<unsigned char>(text[i + n]))) ++n;
    out.push_back(text.substr(i, n));
    i += n;
  }
  return out;
}

bool GlobMatch(const std::vector<std::string>& p, const std::vector<std::string>& n) {
  std::size_t pi = 0, ni = 0, starP = std::string::npos, starN = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == "?" || p[pi] == n[ni])) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == "*") {
      starP = pi++;
      starN = ni;
    } else if (starP != std::string::npos) {
      pi = starP + 1;
      ni = ++starN;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == "*") ++pi;
  return pi == p.size();
}

}  // namespace

std::uint32_t ParsePath(const char* path, ParsedPath* out, bool wildcardLast, bool limitLength) {
  if (path == nullptr) return kErrorPathNotFound;
  std::size_t length = std::strlen(path);
  std::size_t units = Utf16Length(path);
  if (limitLength && units == std::string::npos) return kErrorInvalidName;  // no UTF-16 form: names no file
  if (limitLength && units > kMaxPathUnits) return kErrorFilenameExcedRange;
  char letter = path[0];
  bool isLetter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
  if (length < 2 || !isLetter || path[1] != ':' || (length > 2 && !IsSeparator(path[2]))) {
    return kErrorPathNotFound;  // the machine knows no current folder: only absolute paths
  }
  out->drive = static_cast<char>(letter & ~0x20);
  out->parts.clear();
  std::string rest(path + 2);
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = start;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    std::string part = rest.substr(start, end - start);
    bool last = end >= rest.size();
    if (part == "..") {
      if (!out->parts.empty()) out->parts.pop_back();
    } else if (!part.empty() && part != ".") {
      if (HasBadNameChar(part, wildcardLast && last)) return kErrorInvalidName;
      out->parts.push_back(part);
    }
    start = end + 1;
  }
  return kErrorSuccess;
}

namespace {

// Up to limit characters of part as a short name holds them: upper case,
// without blanks and dots, a character outside ASCII as "_".
std::string ShortPart(const std::string& part, std::size_t limit) {
  std::string out;
  for (const std::string& character : Characters(part)) {
    if (out.size() >= limit) break;
    unsigned char c = static_cast<unsigned char>(character[0]);
    if (c == ' ' || c == '.') continue;
    bool replaced = c >= 0x80 || std::strchr(kNotInShortNames, c) != nullptr;
    out += replaced ? '_' : static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  }
  return out;
}

}  // namespace

std::string ShortName(const std::string& name) {
  if (name == "." || name == "..") return std::string();
  std::size_t dot = name.rfind('.');
  bool split = dot != std::string::npos && dot > 0;
  std::string base = split ? name.substr(0, dot) : name;
  std::string extension = split ? name.substr(dot + 1) : std::string();
  bool legal = !base.empty() && base.size() <= 8 && extension.size() <= 3 && base.find('.') == std::string::npos &&
               name.find(' ') == std::string::npos && name.find_first_of(kNotInShortNames) == std::string::npos;
  if (legal) return std::string();
  std::string shortExtension = ShortPart(extension, 3);
  return ShortPart(base, 6) + "~1" + (shortExtension.empty() ? "" : "." + shortExtension);
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  std::string p = FoldCase(pattern);
  if (p == "*.*") p = "*";
  std::vector<std::string> n = Characters(FoldCase(name));
  if (GlobMatch(Characters(p), n)) return true;
  // "name.*" also matches "name" itself, as the DOS rules of the system do.
  if (p.size() >= 2 && p.compare(p.size() - 2, 2, ".*") == 0 && name.find('.') == std::string::npos) {
    return GlobMatch(Characters(p.substr(0, p.size() - 2)), n);
  }
  return false;
}

std::string Node::Key(const std::string& childName) const {
  return caseSensitive ? childName : FoldCase(childName);
}

// A path may name an entry by its 8.3 name, as the system resolves it.
std::shared_ptr<Node> Node::Child(const std::string& childName) const {
  auto it = byName.find(Key(childName));
  if (it != byName.end()) return it->second;
  const std::string folded = FoldCase(childName);
  for (const auto& child : children) {
    const std::string shortName = child->ShortName();
    if (!shortName.empty() && FoldCase(shortName) == folded) return child;
  }
  return nullptr;
}

void Node::AddChild(std::shared_ptr<Node> child) {
  byName[Key(child->name)] = child;
  children.push_back(std::move(child));
}

void Node::RemoveChild(const Node* child) {
  byName.erase(Key(child->name));
  for (auto it = children.begin(); it != children.end(); ++it) {
    if (it->get() == child) {
      children.erase(it);
      return;
    }
  }
}

std::uint32_t ReportedAttributes(const Node& node) {
  std::uint32_t attributes = node.attributes;
  if (node.folder) attributes |= kAttrDirectory;
  if (node.IsLink()) attributes |= kAttrDirectory | kAttrReparsePoint;
  return attributes == 0 ? kAttrNormal : attributes;
}

}  // namespace mem

using mem::Node;

std::shared_ptr<Node> MemoryPlatform::State::WalkLocked(char drive, const std::vector<std::string>& parts,
                                                         std::size_t count, bool followLast, std::uint32_t* error,
                                                         int depth) const {
  constexpr int kMaxLinkHops = 31;
  auto found = drives.find(drive);
  if (found == drives.end() || depth > kMaxLinkHops) {
    *error = kErrorPathNotFound;
    return nullptr;
  }
  std::shared_ptr<Node> node = found->second.root;
  for (std::size_t i = 0; i < count; ++i) {
    if (!node->folder) {
      *error = kErrorPathNotFound;
      return nullptr;
    }
    std::shared_ptr<Node> child = node->Child(parts[i]);
    if (!child) {
      *error = i + 1 == count ? kErrorFileNotFound : kErrorPathNotFound;
      return nullptr;
    }
    if (child->IsLink() && (i + 1 < count || followLast)) {
      mem::ParsedPath target;
      if (mem::ParsePath(child->linkTarget.c_str(), &target, false, false) != kErrorSuccess) {
        *error = kErrorPathNotFound;
        return nullptr;
      }
      child = WalkLocked(target.drive, target.parts, target.parts.size(), true, error, depth + 1);
      if (!child) {
        *error = kErrorPathNotFound;
        return nullptr;
      }
    }
    node = child;
  }
  return node;
}

std::shared_ptr<Node> MemoryPlatform::State::FindLocked(const std::string& path, bool followLast) const {
  mem::ParsedPath parsed;
  if (mem::ParsePath(path.c_str(), &parsed, false, false) != kErrorSuccess) return nullptr;
  std::uint32_t error = 0;
  return WalkLocked(parsed.drive, parsed.parts, parsed.parts.size(), followLast, &error);
}

void MemoryPlatform::State::RedirectLocked(mem::ParsedPath* path) const {
  mem::ParsedPath system;
  if (!wow64 || mem::ThreadRedirectionOff() ||
      mem::ParsePath(systemDirectory.c_str(), &system, false, false) != kErrorSuccess ||
      system.parts.empty() || path->drive != system.drive || path->parts.size() < system.parts.size()) {
    return;
  }
  for (std::size_t i = 0; i < system.parts.size(); ++i) {
    if (mem::FoldCase(path->parts[i]) != mem::FoldCase(system.parts[i])) return;
  }
  path->parts[system.parts.size() - 1] = "SysWOW64";
}

std::shared_ptr<Node> MemoryPlatform::State::EnsureFolderLocked(const mem::ParsedPath& path, std::size_t count) {
  auto drive = drives.find(path.drive);
  if (drive == drives.end()) {
    throw std::invalid_argument(std::string("no drive ") + path.drive + ": on this machine");
  }
  std::shared_ptr<Node> node = drive->second.root;
  for (std::size_t i = 0; i < count; ++i) {
    std::shared_ptr<Node> child = node->Child(path.parts[i]);
    if (!child) {
      child = std::make_shared<Node>();
      child->name = path.parts[i];
      child->folder = true;
      child->attributes = kAttrDirectory;
      child->lastWrite = MemoryPlatform::kDefaultTime;
      node->AddChild(child);
    } else if (child->IsLink()) {
      std::uint32_t error = 0;
      mem::ParsedPath target;
      mem::ParsePath(child->linkTarget.c_str(), &target, false, false);
      child = WalkLocked(target.drive, target.parts, target.parts.size(), true, &error);
      if (!child) throw std::invalid_argument("folder link leads nowhere: " + path.parts[i]);
    }
    if (!child->folder) throw std::invalid_argument("a file stands where a folder is needed: " + path.parts[i]);
    node = child;
  }
  return node;
}

}  // namespace vx
