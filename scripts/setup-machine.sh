#!/usr/bin/env bash
# Installs everything the two builds and the test tiers need on a Debian 12
# machine: the mingw and Wine toolchains, Xvfb, GoogleTest, fonts, a zh_CN.UTF-8
# locale for Wine's file-name conversion, and libjpeg-turbo built for mingw from
# Debian's own source package. Safe to run again: finished steps are skipped.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
deps=${VUXOR_DEPS:-$here/.deps}
mkdir -p "$deps"
export DEBIAN_FRONTEND=noninteractive

sudo_() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

packages=(g++-mingw-w64-i686 cmake ninja-build make wine wine32:i386 xvfb xauth
          googletest libjpeg62-turbo-dev imagemagick fonts-wqy-zenhei locales
          dpkg-dev x11-utils fonts-wine clang-14 libclang-rt-14-dev llvm-14)

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
  sudo_ apt-get update -q
  sudo_ apt-get install -y -q --no-install-recommends "${packages[@]}"
fi

# A compiled zh_CN.UTF-8 locale: Wine converts Unix file names through it.
if [ ! -d "$deps/locale/zh_CN.UTF-8" ]; then
  mkdir -p "$deps/locale"
  localedef -i zh_CN -f UTF-8 "$deps/locale/zh_CN.UTF-8" || true
fi

# libjpeg-turbo for i686 mingw, static, from Debian's source package.
jpeg=$deps/libjpeg-mingw
if [ ! -f "$jpeg/lib/libjpeg.a" ]; then
  work=$deps/libjpeg-src; rm -rf "$work"; mkdir -p "$work"
  (cd "$work" && apt-get source -q --download-only libjpeg-turbo >/dev/null && dpkg-source -x ./*.dsc srcdir >/dev/null)
  cat > "$work/toolchain.cmake" <<'TC'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
TC
  cmake -S "$work/srcdir" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DWITH_SIMD=OFF -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF \
    -DCMAKE_INSTALL_PREFIX="$jpeg" >/dev/null
  cmake --build "$work/build" -j"$(nproc)" >/dev/null
  cmake --install "$work/build" >/dev/null
  [ -f "$jpeg/lib/libjpeg.a" ] || cp "$jpeg"/lib*/libjpeg.a "$jpeg/lib/" 2>/dev/null || true
  rm -rf "$work"
fi
echo "setup: ready ($deps)"
