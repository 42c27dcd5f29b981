#!/usr/bin/env bash
# Installs everything the builds and the test tiers need on a Debian 12
# machine: the mingw compilers for i686 and x86_64, 32-bit and 64-bit Wine,
# Xvfb, GoogleTest, fonts, a zh_CN.UTF-8 locale for Wine's file-name conversion,
# osslsigncode and openssl for signed releases, and libjpeg-turbo built for
# both mingw compilers from Debian's own source package. Safe to run again:
# finished steps are skipped.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
deps=${VX_DEPS:-$here/.deps}
mkdir -p "$deps"
export DEBIAN_FRONTEND=noninteractive

sudo_() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 cmake ninja-build make wine wine32:i386 wine64 xvfb xauth
          googletest libjpeg62-turbo-dev imagemagick fonts-wqy-zenhei locales
          dpkg-dev x11-utils fonts-wine clang-14 libclang-rt-14-dev llvm-14 osslsigncode openssl)

need_apt=0
dpkg --print-foreign-architectures | grep -qx i386 || { sudo_ dpkg --add-architecture i386; need_apt=1; }
src=/etc/apt/sources.list.d/debian.sources
if [ -f "$src" ] && ! grep -q '^Types:.*deb-src' "$src"; then
  # Copy every deb stanza as deb-src, so that `apt-get source` finds libjpeg-turbo.
  awk 'BEGIN{RS="";ORS="\n\n"} {print} /Types: deb/ {s=$0; sub(/Types: deb/,"Types: deb-src",s); print s}' "$src" > /tmp/debian.sources.$$
  sudo_ cp /tmp/debian.sources.$$ "$src"; rm -f /tmp/debian.sources.$$
  need_apt=1
fi
for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || need_apt=1; done
if [ "$need_apt" = 1 ]; then
  # A mirror caught mid-sync fails one index now and then: try again, and
  # go on with the lists that did arrive if it keeps failing.
  for try in 1 2 3; do sudo_ apt-get update -q && break; sleep $((try * 10)); done || true
  if ! sudo_ apt-get install -y -q --no-install-recommends "${packages[@]}"; then
    # Without a complete i386 index (that mirror again) the 32-bit Wine cannot
    # be installed; everything else can, and the Wine tiers then run on the
    # 64-bit build, as on a machine that cannot run 32-bit code. The test
    # command says so on its host line.
    others=(); for p in "${packages[@]}"; do [ "$p" = wine32:i386 ] || others+=("$p"); done
    sudo_ apt-get install -y -q --no-install-recommends "${others[@]}"
    echo "setup: wine32:i386 could not be installed; only the 64-bit Wine is here" >&2
  fi
fi

# A compiled zh_CN.UTF-8 locale: Wine converts Unix file names through it.
# en_US.UTF-8 serves the end-to-end run on code page 1252.
if [ ! -d "$deps/locale/zh_CN.UTF-8" ]; then
  mkdir -p "$deps/locale"
  localedef -i zh_CN -f UTF-8 "$deps/locale/zh_CN.UTF-8" || true
fi
[ -d "$deps/locale/en_US.UTF-8" ] || localedef -i en_US -f UTF-8 "$deps/locale/en_US.UTF-8" || true

# libjpeg-turbo for each Windows build (i686 and x86_64 mingw), static, from
# Debian's own source package, fetched once for both.
build_jpeg() {  # build_jpeg ARCH CMAKE_PROCESSOR
  local arch=$1 processor=$2 jpeg=$deps/libjpeg-mingw-$1 work=$deps/libjpeg-src
  [ -f "$jpeg/lib/libjpeg.a" ] && return 0
  if [ ! -d "$work/srcdir" ]; then
    rm -rf "$work"; mkdir -p "$work"
    (cd "$work" && apt-get source -q --download-only libjpeg-turbo >/dev/null && dpkg-source -x ./*.dsc srcdir >/dev/null)
  fi
  cat > "$work/toolchain-$arch.cmake" <<TC
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR $processor)
set(CMAKE_C_COMPILER $arch-w64-mingw32-gcc)
set(CMAKE_RC_COMPILER $arch-w64-mingw32-windres)
TC
  # Read after CMake's own rules for mingw, which would otherwise win.
  cat > "$work/deterministic-archive.cmake" <<'RULES'
set(CMAKE_C_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
set(CMAKE_C_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
set(CMAKE_C_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
RULES
  rm -rf "$work/build-$arch"
  # The release program links this library, so it must be the same bytes in
  # any folder at any time: no path kept, archive members without dates.
  cmake -S "$work/srcdir" -B "$work/build-$arch" -DCMAKE_TOOLCHAIN_FILE="$work/toolchain-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DWITH_SIMD=OFF -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF \
    -DCMAKE_C_FLAGS="-ffile-prefix-map=$work=." -DCMAKE_USER_MAKE_RULES_OVERRIDE="$work/deterministic-archive.cmake" \
    -DCMAKE_INSTALL_PREFIX="$jpeg" >/dev/null
  cmake --build "$work/build-$arch" -j"$(nproc)" >/dev/null
  cmake --install "$work/build-$arch" >/dev/null
  [ -f "$jpeg/lib/libjpeg.a" ] || cp "$jpeg"/lib*/libjpeg.a "$jpeg/lib/" 2>/dev/null || true
  [ -f "$jpeg/lib/libjpeg.a" ] || { echo "setup: libjpeg for $arch did not build" >&2; return 1; }
}
build_jpeg i686 x86
build_jpeg x86_64 AMD64
rm -rf "$deps/libjpeg-src"
echo "setup: ready ($deps)"
