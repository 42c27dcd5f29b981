// Writes a GBK copy of a UTF-8 source file, for the fuzz build.
//
// The product's compiler turns every text literal into GBK bytes
// (-fexec-charset=GBK); clang cannot, and copies the bytes of a literal as
// they stand in the source. Compiling a GBK copy of each source therefore gives
// clang's build the same literal bytes as the product's. Two things could make
// the copy read differently, and both stop the build here:
//  - a character GBK lacks: in a literal the product's build refuses it too,
//    so it can only stand in a comment, where it becomes "?";
//  - a double-byte character whose second byte is "\" (0x5C): clang would take
//    it for an escape (or, at the end of a comment line, for a continuation).
#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

bool Convert(const std::string& in, std::string* out) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char* src = const_cast<char*>(in.data());
  std::size_t left = in.size();
  std::string buffer(in.size() * 2 + 16, '\0');
  char* dst = &buffer[0];
  std::size_t room = buffer.size();
  while (left > 0) {
    if (iconv(cd, &src, &left, &dst, &room) != static_cast<std::size_t>(-1)) break;
    if (errno != EILSEQ) {
      iconv_close(cd);
      return false;
    }
    // One UTF-8 character without a GBK form: step over it, write "?".
    do {
      ++src;
      --left;
    } while (left > 0 && (static_cast<unsigned char>(*src) & 0xC0) == 0x80);
    *dst++ = '?';
    --room;
  }
  iconv_close(cd);
  buffer.resize(buffer.size() - room);
  *out = buffer;
  return true;
}

// The offset of a double-byte character ending in "\", or -1.
long BackslashTrail(const std::string& gbk) {
  for (std::size_t i = 0; i < gbk.size(); ++i) {
    auto c = static_cast<unsigned char>(gbk[i]);
    if (c < 0x81 || c == 0xFF || i + 1 == gbk.size()) continue;
    if (gbk[i + 1] == '\\') return static_cast<long>(i);
    ++i;
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: gbk_source UTF8-SOURCE GBK-COPY\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string gbk;
  if (!in.good() && !in.eof()) {
    std::fprintf(stderr, "%s: cannot read\n", argv[1]);
    return 1;
  }
  if (!Convert(text, &gbk)) {
    std::fprintf(stderr, "%s: not UTF-8\n", argv[1]);
    return 1;
  }
  long at = BackslashTrail(gbk);
  if (at >= 0) {
    std::fprintf(stderr, "%s: a character at GBK byte %ld ends in 0x5C, which clang reads as \"\\\"\n", argv[1], at);
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary);
  out << gbk;
  return out.good() ? 0 : 1;
}
