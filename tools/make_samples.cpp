// make_samples: writes a harmless fixture drive for the end-to-end tests and
// the demo, together with what the drive must look like after one full scan.
//
//   make_samples --out DIR --host demo_host.exe [--letter D] [--pattern TEXT]
//                [--features roots,markers,exes,pages,edges,names,big,bulk,slow,attrs,mix,bigpage]
//                [--bulk FILES] [--mix GROUPS]
//
// --bulk sets the number of plain files of "bulk" (300), --mix the number of
// folders of "mix" (100), each a small infected folder as the worm leaves it.
//
// DIR/drive     the tree to map as a drive
// DIR/expected  every file of the tree as it must be after the scan (files the
//               scan deletes are missing); compare with `diff -r`
// DIR/walk.txt  the log lines the walk of this drive writes, in walk order
// DIR/roots.txt the log lines of the drive-root cleanup for this drive
// DIR/counts.txt "files N" (files the walk examines), "restored N"
// DIR/attributes.txt  "FLAGS<tab>PATH" per file whose attributes the caller
//               sets under Wine before the scan (e.g. "+r +h<tab>attrs\a.exe")
//
// Infected executables are built the way the worm builds them: some leading
// bytes, the host program, a zero byte, then the trailer with both markers and
// the host's length. The host is our own harmless demo program. Web pages get
// the injected frame (the default pattern of the window's pattern field).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/scan_tree.h"
#include "engine/texts.h"
#include "tests/test_helpers.h"

namespace fs = std::filesystem;

namespace {

const size_t kMaxScanFileSize = vx::kMaxScanFileSize;  // files at or above it are not examined

enum class Fate { kUntouched, kRestored, kCleaned, kDeleted };

struct Sample {
  std::string path;    // relative to the drive root, '/' separated, UTF-8
  std::string bytes;   // content written now
  Fate fate;
  std::string after;   // content after the scan (restored / cleaned)
  std::string attrib;  // attribute flags to set before the scan, e.g. "+r +h"
};

std::vector<Sample> samples;
std::set<std::string> folders;  // relative folder paths, also empty ones

void Add(const std::string& path, const std::string& bytes, Fate fate = Fate::kUntouched,
         const std::string& after = "") {
  samples.push_back({path, bytes, fate, fate == Fate::kUntouched ? bytes : after, ""});
}

// Deterministic filler standing for the worm's own body in front of the host.
std::string Filler(size_t size, unsigned seed) {
  std::string s(size, '\0');
  unsigned x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s[i] = (char)(x >> 24);
  }
  if (size >= 2) s[0] = 'M', s[1] = 'Z';
  return s;
}

// lead (5 bytes) + text + 0x02 + N + 0x01 + tail: no zero byte anywhere.
std::string Trailer(const std::string& lead, const std::string& text, const std::string& size,
                    const std::string& tail, bool separator = true) {
  return lead + text + (separator ? "\x02" : "") + size + "\x01" + tail;
}

std::string Infect(const std::string& host, unsigned seed, const std::string& text = "QMTEZ") {
  return vxtest::InfectedProgram(Filler(4096 + seed * 37, seed), host, text);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "make_samples: cannot read %s\n", path.c_str());
    std::exit(2);
  }
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (bytes.find_first_not_of('\0') == std::string::npos) {
    out.close();
    fs::resize_file(path, bytes.size());  // zeros only: a sparse file costs no disk
  } else {
    out.write(bytes.data(), (std::streamsize)bytes.size());
  }
  if (!out && out.is_open()) {
    std::fprintf(stderr, "make_samples: cannot write %s\n", path.string().c_str());
    std::exit(2);
  }
}

// --- the fixture sets ---------------------------------------------------

void Roots(const std::string& host) {
  Add("autorun.inf", "[AutoRun]\r\nopen=setup.exe\r\nshell\\open\\command=setup.exe\r\n", Fate::kDeleted);
  Add("setup.exe", Infect(host, 1), Fate::kDeleted);
}

// Markers in subfolders at several depths go; the root's own marker stays,
// and so do markers in folders the walk never enters.
void Markers() {
  Add("Quellin_.ini", "[marker]\r\n");
  Add("docs/Quellin_.ini", "[marker]\r\n", Fate::kDeleted);
  Add("docs/Quellin__.ini", "[marker]\r\n", Fate::kDeleted);
  Add("docs/readme.txt", "nothing to see\r\n");
  Add("docs/old/Quellin__.ini", "[marker]\r\n", Fate::kDeleted);
  Add("docs/old/deeper/still/Quellin_.ini", "[marker]\r\n", Fate::kDeleted);
  Add("docs/old/deeper/still/notes.txt", "deep\r\n");
  Add("tree/Quellin_.ini/inner.txt", "a folder that bears the marker's name stays\r\n");
  Add(".svn/Quellin_.ini", "[marker in a dot folder]\r\n");
  folders.insert("docs/empty");
}

void Executables(const std::string& host) {
  Add("host.exe", Infect(host, 2), Fate::kRestored, host);
  Add("games/play.exe", Infect(host, 3), Fate::kRestored, host);
  Add("games/saver.SCR", Infect(host, 4), Fate::kRestored, host);
  Add("games/link.pif", Infect(host, 5), Fate::kRestored, host);
  Add("games/tool.Com", Infect(host, 6), Fate::kRestored, host);
  Add("games/Setup.eXe", Infect(host, 7), Fate::kRestored, host);
  Add("games/deep/a/b/c/run.exe", Infect(host, 8, "QMTEZ C:\\host\\run.exe"), Fate::kRestored, host);
  Add("games/clean.exe", host);
  Add("games/a.exe.bak", Infect(host, 9));
  Add("games/exe", Infect(host, 10));
  Add(".svn/hidden.exe", Infect(host, 11));
  Add("games/.dot.exe", Infect(host, 12));
}

void Pages(const std::string& pattern) {
  const std::string head = "<html><body>\r\n", tail = "\r\n</body></html>\r\n";
  auto page = [&](const std::string& path, const std::string& before, const std::string& after) {
    Add(path, before + pattern + after, Fate::kCleaned, before + after);
  };
  page("web/INDEX.HTM", head, tail);
  page("web/page.Html", head + "<p>hello</p>", tail);
  page("web/a.aspx", head, tail);
  page("web/b.asp", head, tail);
  page("web/c.php", "<?php echo 1; ?>", "");
  page("web/d.jsp", head, tail);
  page("web/start.html", "", tail);
  page("web/end.htm", head, "");
  page("web/only.htm", "", "");
  Add("web/twice.htm", head + pattern + "<p>x</p>" + pattern + tail, Fate::kCleaned,
      head + "<p>x</p>" + pattern + tail);
  std::string shouted = pattern;
  std::transform(shouted.begin(), shouted.begin() + 7, shouted.begin(), ::toupper);  // "<IFRAME"
  Add("web/shouted.htm", head + shouted + tail);
  Add("web/clean.html", head + "<p>no frame</p>" + tail);
  Add("web/a.htmlx", head + pattern + tail);
  Add("web/.htaccess", pattern);
}

// Trailer shapes at the edges of the infection format.
void Edges() {
  const std::string letters = "ABCDEFGH", z(1, '\0');
  Add("edges/n3.exe", letters + z + vxtest::InfectionTrailer("3"), Fate::kRestored, "FGH");
  Add("edges/n8.exe", letters + z + vxtest::InfectionTrailer("8"), Fate::kRestored, letters);
  Add("edges/n0.exe", letters + z + vxtest::InfectionTrailer("0"), Fate::kRestored, "");
  Add("edges/n003.exe", letters + z + vxtest::InfectionTrailer("003"), Fate::kRestored, "FGH");
  Add("edges/tail_marker.exe", "0123456789AB" + z + Trailer("QmTez", "", "12", "QMTEZ", false),
      Fate::kRestored, "0123456789AB");
  Add("edges/two_ends.exe", letters + z + Trailer("QmTez", "", "4", "99\x01QMTEZ"), Fate::kRestored,
      "EFGH");
  Add("edges/lead_sep.exe", letters + z + Trailer("x\x02yzw", "QmTezQMTEZ", "5", ""), Fate::kRestored,
      "DEFGH");
  Add("edges/one_marker.exe", letters + z + Trailer("QmTez", "other", "3", ""));
  Add("edges/other_marker.exe", letters + z + Trailer("xxxxx", "QMTEZ", "3", ""));
  Add("edges/wrong_case.exe", letters + z + Trailer("QmTeZ", "QMTEZ", "3", ""));
  Add("edges/ends_zero.exe", letters + vxtest::InfectionTrailer("3") + z);
  Add("edges/no_end.exe", letters + z + "QmTezQMTEZ\x02" "3");
}

void Names(const std::string& host) {
  Add("中文目录/Quellin_.ini", "[marker]\r\n", Fate::kDeleted);
  Add("中文目录/病毒样本.exe", Infect(host, 13), Fate::kRestored, host);
}

// Files at the size limit: one byte under it is examined and restored, at the
// limit it is passed over without being counted.
void Big(const std::string& host) {
  auto big = [&](size_t size) {
    std::string tail = vxtest::InfectedProgram("", host);
    return std::string(size - tail.size(), 'B') + tail;
  };
  Add("big/under.exe", big(kMaxScanFileSize - 1), Fate::kRestored, host);
  Add("big/limit.exe", big(kMaxScanFileSize));
}

// Many plain files, so that a walk takes some seconds and can be stopped;
// thirty to a folder.
void Bulk(int files) {
  for (int i = 0; i < files; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "bulk/d%02d/file%02d.txt", i / 30, i % 30);
    Add(name, std::string("plain ") + name + "\r\n");
  }
}

// Folders as the worm leaves them, many of them: both markers, an infected
// program and page, and their clean neighbours. Each folder costs the walk
// nine entries (its own, "." and "..", six files) and writes four log lines.
void Mix(const std::string& host, const std::string& pattern, int groups) {
  const std::string head = "<html><body>\r\n", tail = "\r\n</body></html>\r\n";
  for (int g = 0; g < groups; ++g) {
    char folder[32];
    std::snprintf(folder, sizeof folder, "mix/g%04d/", g);
    const std::string dir = folder;
    Add(dir + "Quellin_.ini", "[marker]\r\n", Fate::kDeleted);
    Add(dir + "Quellin__.ini", "[marker]\r\n", Fate::kDeleted);
    Add(dir + "prog.exe", Infect(host, 100 + g % 50), Fate::kRestored, host);
    Add(dir + "page.htm", head + pattern + tail, Fate::kCleaned, head + tail);
    Add(dir + "clean.html", head + "<p>" + dir + "</p>" + tail);
    Add(dir + "tool.exe", host);
    Add(dir + "notes.txt", "notes of " + dir + "\r\n");
    Add(dir + "data.bin", Filler(512, g));
  }
}

// A web page one byte under the size limit with the frame in it: the largest
// file a repairer holds twice, once as read and once as cleaned.
void BigPage(const std::string& pattern) {
  const std::string head = "<html><body>\r\n", tail = "\r\n</body></html>\r\n";
  std::string before = head + std::string(kMaxScanFileSize - 1 - head.size() - pattern.size() - tail.size(), ' ');
  Add("big/under.htm", before + pattern + tail, Fate::kCleaned, before + tail);
}

// Programs just under the size limit that carry no trailer: each is read
// whole and left alone, so a walk spends a while on every one of them.
void Slow() {
  for (int i = 1; i <= 5; ++i)
    Add("a_slow/slow" + std::to_string(i) + ".exe", std::string(kMaxScanFileSize - 1, '\0'));
}

// Read-only, hidden and system files are never rewritten; markers and
// start-up files are deleted whatever their attributes.
void Attributes(const std::string& host, const std::string& pattern) {
  auto with = [](const std::string& attrib) { samples.back().attrib = attrib; };
  Add("attrs/plain.exe", Infect(host, 20), Fate::kRestored, host);
  Add("attrs/ro.exe", Infect(host, 21)), with("+r");
  Add("attrs/hidden.exe", Infect(host, 22)), with("+h");
  Add("attrs/system.exe", Infect(host, 23)), with("+s");
  Add("attrs/ro.htm", pattern), with("+r");
  Add("attrs/hidden.html", pattern), with("+h");
  Add("attrs/sub/Quellin_.ini", "[marker]\r\n", Fate::kDeleted), with("+r +h +s");
  for (Sample& s : samples)
    if (s.path == "autorun.inf") s.attrib = "+r +h +s";
}

// --- the expected walk --------------------------------------------------

// The order in which the platform lists a folder here: by name, compared as
// UTF-16 code units with a to z folded to upper case.
std::u16string ListingKey(const std::string& utf8) {
  std::u16string key;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = utf8[i];
    unsigned cp;
    int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    cp = n == 1 ? c : c & (0x3F >> (n - 1));
    for (int k = 1; k < n; ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
    i += n;
    if (cp >= 'a' && cp <= 'z') cp -= 32;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      key += (char16_t)(0xD800 + (cp >> 10));
      key += (char16_t)(0xDC00 + (cp & 0x3FF));
    } else {
      key += (char16_t)cp;
    }
  }
  return key;
}

struct Node {
  std::map<std::u16string, std::pair<std::string, Node>> folders;
  std::map<std::u16string, std::pair<std::string, const Sample*>> files;
};

struct Walk {
  std::vector<std::string> log;
  long files = 0, restored = 0;

  void Folder(const Node& node, const std::string& path) {  // path ends in '\'
    // One sorted listing of files and folders together.
    std::map<std::u16string, std::pair<std::string, const Node*>> entries;
    for (auto& [key, f] : node.folders) entries[key] = {f.first, &f.second};
    for (auto& [key, f] : node.files) entries[key] = {f.first, nullptr};
    for (auto& [key, entry] : entries) {
      const std::string& name = entry.first;
      if (name[0] == '.') continue;
      if (entry.second) {
        const Node& sub = *entry.second;
        for (const char* marker : {"Quellin_.ini", "Quellin__.ini"}) {
          auto m = sub.files.find(ListingKey(marker));
          if (m != sub.files.end() && m->second.first == marker)
            log.push_back(path + name + "\\" + marker + vx::kDeletedLog);
        }
        Folder(sub, path + name + "\\");
        continue;
      }
      const Sample& s = *node.files.at(key).second;
      bool deleted_before = s.fate == Fate::kDeleted;  // markers below the root, root start-up files
      if (deleted_before || s.bytes.size() >= kMaxScanFileSize) continue;
      ++files;
      if (s.fate == Fate::kRestored) {
        ++restored;
        log.push_back(path + name + vx::kRestoredLog);
      } else if (s.fate == Fate::kCleaned) {
        log.push_back(path + name + vx::kPageCleanedLog);
      }
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::string out, host_path, letter = "D", pattern = vx::kDefaultPattern;
  std::string features = "roots,markers,exes,pages,edges,names,big,bulk,attrs";
  int bulk = 300, mix = 100;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string opt = argv[i], val = argv[i + 1];
    if (opt == "--out") out = val;
    else if (opt == "--host") host_path = val;
    else if (opt == "--letter") letter = val.substr(0, 1);
    else if (opt == "--pattern") pattern = val;
    else if (opt == "--features") features = val;
    else if (opt == "--bulk") bulk = std::atoi(val.c_str());
    else if (opt == "--mix") mix = std::atoi(val.c_str());
    else { std::fprintf(stderr, "make_samples: unknown option %s\n", opt.c_str()); return 2; }
  }
  if (out.empty() || host_path.empty()) {
    std::fprintf(stderr, "usage: make_samples --out DIR --host demo_host.exe [--letter D] [--pattern TEXT] [--features LIST] [--bulk N] [--mix N]\n");
    return 2;
  }
  std::string host = ReadFile(host_path);
  std::set<std::string> on;
  std::stringstream list(features);
  for (std::string f; std::getline(list, f, ',');) on.insert(f);

  if (on.count("roots")) Roots(host);
  if (on.count("markers")) Markers();
  if (on.count("exes")) Executables(host);
  if (on.count("pages")) Pages(pattern);
  if (on.count("edges")) Edges();
  if (on.count("names")) Names(host);
  if (on.count("big")) Big(host);
  if (on.count("bulk")) Bulk(bulk);
  if (on.count("slow")) Slow();
  if (on.count("attrs")) Attributes(host, pattern);
  if (on.count("mix")) Mix(host, pattern, mix);
  if (on.count("bigpage")) BigPage(pattern);

  fs::remove_all(out);
  Node root;
  for (const Sample& s : samples) {
    WriteFile(fs::path(out) / "drive" / fs::u8path(s.path), s.bytes);
    fs::path expected = fs::path(out) / "expected" / fs::u8path(s.path);
    if (s.fate != Fate::kDeleted) WriteFile(expected, s.after);
    else fs::create_directories(expected.parent_path());  // the folder stays
    // Start-up files at the root go before the walk; markers below the root
    // are deleted when the walk reaches their folder, the root's own stays.
    Node* node = &root;
    std::string rest = s.path;
    for (size_t slash; (slash = rest.find('/')) != std::string::npos; rest = rest.substr(slash + 1)) {
      std::string part = rest.substr(0, slash);
      auto& slot = node->folders[ListingKey(part)];
      slot.first = part;
      node = &slot.second;
    }
    node->files[ListingKey(rest)] = {rest, &s};
  }
  for (const std::string& f : folders) {
    fs::create_directories(fs::path(out) / "drive" / fs::u8path(f));
    fs::create_directories(fs::path(out) / "expected" / fs::u8path(f));
    Node* node = &root;
    std::string rest = f + "/";
    for (size_t slash; (slash = rest.find('/')) != std::string::npos; rest = rest.substr(slash + 1)) {
      auto& slot = node->folders[ListingKey(rest.substr(0, slash))];
      slot.first = rest.substr(0, slash);
      node = &slot.second;
    }
  }
  fs::create_directories(fs::path(out) / "expected");

  Walk walk;
  walk.Folder(root, letter + ":\\");
  std::ofstream log(fs::path(out) / "walk.txt", std::ios::binary);
  for (const std::string& line : walk.log) log << line << "\n";
  std::ofstream roots(fs::path(out) / "roots.txt", std::ios::binary);
  if (on.count("roots")) {
    for (const char* file : {":\\autorun.inf", ":\\setup.exe"}) roots << letter << file << vx::kDeletedLog << "\n";
  }
  std::ofstream attributes(fs::path(out) / "attributes.txt", std::ios::binary);
  for (const Sample& s : samples) {
    std::string path = s.path;
    std::replace(path.begin(), path.end(), '/', '\\');
    if (!s.attrib.empty()) attributes << s.attrib << "\t" << path << "\n";
  }
  std::ofstream counts(fs::path(out) / "counts.txt", std::ios::binary);
  counts << "files " << walk.files << "\nrestored " << walk.restored << "\n";
  std::printf("make_samples: %zu files in %s/drive, %ld examined, %ld to restore\n", samples.size(),
              out.c_str(), walk.files, walk.restored);
  return 0;
}
