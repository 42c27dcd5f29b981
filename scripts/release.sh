#!/usr/bin/env bash
# Makes a release: the 32-bit program users download, built in a fresh build
# folder, as dist/Vuxor-VERSION.exe, with its SHA-256 in dist/SHA256SUMS.
#
#   bash scripts/release.sh [--source] [--sign KEY CERT] [--timestamp URL] [--win64]
#
#   --source         also writes dist/vuxor-VERSION-src.tar.gz: the sources of
#                    the last commit and a RELEASE file with the version, from
#                    which this command builds the same program without git
#   --sign KEY CERT  signs the program (Authenticode, SHA-256) with the private
#                    key and certificate (PEM or DER files; VX_SIGN_KEY and
#                    VX_SIGN_CERT say the same, VX_SIGN_PASSFILE names a file
#                    holding the key's password)
#   --timestamp URL  has the signature time-stamped by that RFC 3161 server
#                    (VX_TIMESTAMP_URL)
#   --win64          the x86-64 build of the same sources instead, written as
#                    dist/Vuxor-VERSION-win64.exe: a test build, not a download
#
# VERSION is what `git describe` gives for the newest vX.Y.Z tag reachable
# from HEAD, without the "v": 1.2.0 on the tag, 1.2.0-3-gabc1234 three commits
# later, 0.0.0-N-gHASH before the first tag, and "-dirty" added (with a
# warning) when tracked files are changed or files git does not ignore are
# added, since the build takes every source file in its folders. The first
# line printed names it.
#
# The same commit gives the same bytes in any folder, at any time, as any
# user: the PE time stamp is the last commit's time (SOURCE_DATE_EPOCH, which
# the linker honours), no path enters the program, libjpeg comes from
# scripts/setup-machine.sh (itself reproducible), and the archive has fixed
# owners, times and order. A signature is added after that, so removing it
# (`osslsigncode remove-signature`) gives back the unsigned bytes; this
# command checks that it does.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
started=$SECONDS

source_archive=0 win64=0
sign_key=${VX_SIGN_KEY:-} sign_cert=${VX_SIGN_CERT:-} timestamp_url=${VX_TIMESTAMP_URL:-}
while [ $# -gt 0 ]; do
  case "$1" in
    --source) source_archive=1 ;;
    --win64) win64=1 ;;
    --sign) [ $# -ge 3 ] || { echo "release: --sign needs KEY and CERT" >&2; exit 2; }
            sign_key=$2 sign_cert=$3; shift 2 ;;
    --timestamp) [ $# -ge 2 ] || { echo "release: --timestamp needs a URL" >&2; exit 2; }
                 timestamp_url=$2; shift ;;
    *) echo "usage: bash scripts/release.sh [--source] [--sign KEY CERT] [--timestamp URL] [--win64]" >&2; exit 2 ;;
  esac
  shift
done
if [ -n "$sign_key$sign_cert" ] && { [ ! -f "$sign_key" ] || [ ! -f "$sign_cert" ]; }; then
  echo "release: the signing key ($sign_key) and certificate ($sign_cert) must both be files" >&2; exit 2
fi

# In a git checkout of this project, git says the version and the time;
# in an unpacked source archive, its RELEASE file does.
in_git() { [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$top" ]; }
dirty=0
if in_git; then
  version=$(git describe --tags --match 'v[0-9]*.[0-9]*.[0-9]*' --abbrev=7 HEAD 2>/dev/null) && version=${version#v} ||
    version="0.0.0-$(git rev-list --count HEAD)-g$(git rev-parse --short=7 HEAD)"
  [ -z "$(git status --porcelain --untracked-files=normal)" ] || { dirty=1; version="$version-dirty"; }
  epoch=$(git log -1 --format=%ct HEAD)
elif [ -f RELEASE ]; then
  version=$(sed -n 's/^version=//p' RELEASE)
  epoch=$(sed -n 's/^source_date_epoch=//p' RELEASE)
  [ "$source_archive" = 0 ] || { echo "release: --source needs the git checkout" >&2; exit 2; }
else
  echo "release: neither a git checkout nor an unpacked source archive (no RELEASE file)" >&2; exit 2
fi
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+(-[0-9]+-g[0-9a-f]+)?(-dirty)?$ && "$epoch" =~ ^[0-9]+$ ]] ||
  { echo "release: cannot tell the version ($version) or the commit time ($epoch)" >&2; exit 2; }

echo "release: Vuxor $version"
if [ "$dirty" = 1 ]; then
  echo "release: WARNING: the tree has uncommitted changes; this is no release, only a -dirty build" >&2
  git status --short --untracked-files=normal | head -n 10 | sed 's/^/release:   /' >&2
fi

if [ "$win64" = 1 ]; then arch=x86_64 build=win64 exe=Vuxor-$version-win64.exe
else arch=i686 build=win32 exe=Vuxor-$version.exe; fi
deps=${VX_DEPS:-$top/.deps}
[ -f "$deps/libjpeg-mingw-$arch/lib/libjpeg.a" ] || bash scripts/setup-machine.sh

# Only the program, in a fresh folder; the clock of the build is the commit's,
# and every path of this checkout is written as "." wherever one is kept.
export SOURCE_DATE_EPOCH=$epoch TZ=UTC LC_ALL=C
unset CFLAGS CXXFLAGS LDFLAGS CPPFLAGS
out=build/release-$build
rm -rf "$out"; mkdir -p "$out"
cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVX_DEPS="$deps" -DVX_VERSION="$version" \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw.cmake" -DVX_MINGW_ARCH="$arch" \
  -DCMAKE_C_FLAGS="-ffile-prefix-map=$top=." -DCMAKE_CXX_FLAGS="-ffile-prefix-map=$top=." >"$out/release.log" 2>&1 ||
  { tail -n 30 "$out/release.log"; echo "release: configure failed" >&2; exit 1; }
cmake --build "$out" -j2 --target Vuxor >>"$out/release.log" 2>&1 ||
  { tail -n 40 "$out/release.log"; echo "release: build failed" >&2; exit 1; }

# Whoever rebuilds to compare needs the same compiler and linker.
echo "release: built with $("$arch-w64-mingw32-gcc" --version | head -n 1), $("$arch-w64-mingw32-ld" --version | head -n 1)"

mkdir -p dist
rm -f dist/SHA256SUMS dist/Vuxor-*.exe dist/vuxor-*-src.tar.gz
cp "$out/Vuxor.exe" "dist/$exe"
echo "release: unsigned program: $(sha256sum "dist/$exe" | cut -d' ' -f1)  $exe"

if [ -n "$sign_key" ]; then
  command -v osslsigncode >/dev/null || { echo "release: osslsigncode is missing (scripts/setup-machine.sh installs it)" >&2; exit 1; }
  sign=(osslsigncode sign -h sha256 -n Vuxor -certs "$sign_cert" -key "$sign_key")
  [ -z "${VX_SIGN_PASSFILE:-}" ] || sign+=(-readpass "$VX_SIGN_PASSFILE")
  [ -z "$timestamp_url" ] || sign+=(-ts "$timestamp_url")
  "${sign[@]}" -in "$out/Vuxor.exe" -out "$out/Vuxor-signed.exe" >"$out/sign.log" 2>&1 ||
    { cat "$out/sign.log" >&2; echo "release: signing failed" >&2; exit 1; }
  osslsigncode remove-signature -in "$out/Vuxor-signed.exe" -out "$out/Vuxor-unsigned.exe" >/dev/null 2>&1 &&
    cmp -s "$out/Vuxor-unsigned.exe" "$out/Vuxor.exe" ||
    { echo "release: the signed program without its signature is not the reproducible program" >&2; exit 1; }
  cp "$out/Vuxor-signed.exe" "dist/$exe"
  echo "release: signed (Authenticode, SHA-256, $(openssl x509 -in "$sign_cert" -noout -subject 2>/dev/null ||
    openssl x509 -inform DER -in "$sign_cert" -noout -subject))"
else
  echo "release: not signed (no key given: --sign KEY CERT, or VX_SIGN_KEY and VX_SIGN_CERT)"
fi

if [ "$source_archive" = 1 ]; then
  [ "$dirty" = 0 ] || echo "release: WARNING: the source archive holds the last commit, without the uncommitted changes" >&2
  # git gives every entry the commit's time, owner root and the tree's order;
  # gzip -n leaves out the name and time of the archive itself.
  git archive --format=tar --add-virtual-file="vuxor-$version/RELEASE:version=$version
source_date_epoch=$epoch
" --prefix="vuxor-$version/" HEAD | gzip -9n > "dist/vuxor-$version-src.tar.gz"
fi

(cd dist && sha256sum -- "$exe" $([ "$source_archive" = 0 ] || echo "vuxor-$version-src.tar.gz") > SHA256SUMS)
sed 's/^/release: /' dist/SHA256SUMS
echo "release: $(stat -c %s "dist/$exe") bytes; dist/ written in $((SECONDS - started)) s"
