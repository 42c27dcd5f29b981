# Wine helpers for every script of the project. Source it (bash):
#
#   . "$(dirname "$0")/wine-env.sh"
#   vx_use_build win64                    # which Windows build the runs serve (default win32)
#   vx_make_prefix /tmp/p                 # fresh sandbox prefix, no way out to Linux
#   vx_map_drive /tmp/p d /tmp/fixture/d  # D: -> folder, reported as fixed (3)
#   vx_map_drive /tmp/p g /tmp/share g network   # G: reported as remote (4)
#   vx_wine /tmp/p build/win32/win32_tests.exe --gtest_brief=1
#   vx_wine_stop /tmp/p                   # end that prefix's wineserver
#
# Windows-like permissions (read-only files refused, no writes outside the
# sandbox) need Wine to run unprivileged:
#   vx_prefix_owner /tmp/p 65534 /tmp/fixture   # after vx_map_drive: to that user
#   VX_WINE_UID=65534 vx_wine /tmp/p prog.exe
#
# A fresh Wine prefix is not a sandbox: Z: maps to / and the user folders under
# drive_c/users/<name>/ are links into $HOME, so a full scan would walk and
# rewrite the Linux machine. vx_make_prefix removes every such way out.

_vx_wine_env_here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VX_DEPS=${VX_DEPS:-$_vx_wine_env_here/.deps}

# Two Windows builds come from the same sources: win32 (i686, the program users
# download) runs in a 32-bit prefix under 32-bit Wine; win64 (x86_64) runs in a
# 64-bit prefix under 64-bit Wine. Some machines refuse all 32-bit x86 code
# (IA-32 emulation off), so there only win64 can run.
VX_BUILD=${VX_BUILD:-win32}
_vx_wine64_dir=/usr/lib/wine

# vx_host_runs_32bit: whether this machine executes 32-bit x86 programs: the
# 32-bit dynamic loader answers for its version only where it can run.
# VX_NO_32BIT=1 forces the answer "cannot", to try that path anywhere.
vx_host_runs_32bit() {
  [ "${VX_NO_32BIT:-0}" != 1 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1 && vx_has_wine32
}

# vx_has_wine32: whether the 32-bit Wine is installed (setup goes on without
# it when the package mirror cannot serve its i386 dependencies).
vx_has_wine32() { dpkg -s wine32:i386 >/dev/null 2>&1; }

# vx_host_line: why the Wine tiers run on win64 alone, or nothing where both run.
vx_host_line() {
  vx_host_runs_32bit && return 0
  if [ "${VX_NO_32BIT:-0}" != 1 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo "host: 32-bit Wine (wine32:i386) is not installed; the Wine tiers run on the 64-bit build (win64) under 64-bit Wine"
  else
    echo "host: this machine cannot run 32-bit x86 code; the Wine tiers run on the 64-bit build (win64) under 64-bit Wine"
  fi
}

# vx_windows_builds: the Windows builds this machine can run, the product first.
vx_windows_builds() {
  if vx_host_runs_32bit; then echo "win32 win64"; else echo "win64"; fi
}

# vx_use_build win32|win64: the build (and so the Wine) the next runs serve.
vx_use_build() {
  case "$1" in win32|win64) VX_BUILD=$1 ;; *) echo "vx_use_build: unknown build $1" >&2; return 2 ;; esac
}

# The Wine loader and server for the current build. With wine32 installed the
# plain `wine` command picks the 32-bit loader even for 64-bit programs, so the
# 64-bit build calls the 64-bit loader and server directly.
_vx_loader() { if [ "$VX_BUILD" = win64 ]; then echo "$_vx_wine64_dir/wine64"; else echo wine; fi; }
_vx_server() { if [ "$VX_BUILD" = win64 ]; then echo "$_vx_wine64_dir/wineserver64"; else echo wineserver; fi; }

# The environment every Wine run of the project uses: the build's prefix kind,
# quiet, code page 936 (GBK) through a real compiled zh_CN.UTF-8 locale so that
# file names in any script round-trip, and no Mono or Gecko installation prompts.
# VX_WINE_LOCALE=en_US.UTF-8 gives code page 1252 instead, an English Windows;
# make such a prefix under 936 and copy it (vx_make_prefix writes its font
# mapping in GBK).
vx_wine_env() {
  if [ "$VX_BUILD" = win64 ]; then
    export WINEARCH=win64 WINELOADER="$_vx_wine64_dir/wine64" WINESERVER="$_vx_wine64_dir/wineserver64"
  else
    export WINEARCH=win32
    unset WINELOADER WINESERVER
  fi
  export WINEDEBUG=-all
  export LOCPATH="$VX_DEPS/locale"
  # bash itself does not see LOCPATH and would warn that the locale is missing.
  { export LC_ALL=${VX_WINE_LOCALE:-zh_CN.UTF-8} LANG=${VX_WINE_LOCALE:-zh_CN.UTF-8}; } 2>/dev/null
  export WINEDLLOVERRIDES="mscoree,mshtml="
}

# vx_wine_stop DIR: stops the wineserver of that prefix (and its programs) and
# waits until it is gone, so that registry files on disk are complete.
vx_wine_stop() {
  local dir=$1
  [ -d "$dir" ] || return 0
  local owner
  owner=$(stat -c %u "$dir")
  if [ "$owner" != "$(id -u)" ] && [ "$(id -u)" = 0 ]; then
    ( vx_wine_env; export WINEPREFIX="$dir" HOME="$dir"
      setpriv --reuid="$owner" --regid="$owner" --clear-groups sh -c '"$1" -k; "$1" -w' _ "$(_vx_server)" >/dev/null 2>&1 ) || true
  else
    ( vx_wine_env; export WINEPREFIX="$dir"; "$(_vx_server)" -k >/dev/null 2>&1; "$(_vx_server)" -w >/dev/null 2>&1 ) || true
  fi
}

# _vx_wine_reg DIR FILE: imports a REGEDIT4 file into the prefix, then ends
# the wineserver (which writes the registry out) rather than waiting seconds
# for its session to wind down, so that the next program starts a wineserver
# (and a drive manager) that sees the values.
_vx_wine_reg() {
  local dir=$1 file=$2
  ( vx_wine_env; export WINEPREFIX="$dir"
    "$(_vx_loader)" regedit /S "$(_vx_winepath "$file")" ) </dev/null >/dev/null 2>&1
  vx_wine_stop "$dir"
}

# The file is handed to regedit as a path on drive C: since the prefix has no
# drive that reaches the Linux file system.
_vx_winepath() {
  local f=$1
  case "$f" in
    "$_vx_reg_dir"/*) printf 'C:\\%s' "${f#"$_vx_reg_dir"/}" | tr / '\\' ;;
    *) printf '%s' "$f" ;;
  esac
}

# vx_make_prefix DIR: makes a fresh sandbox prefix in DIR (removed first).
vx_make_prefix() {
  local dir=$1
  [ -n "$dir" ] || { echo "vx_make_prefix: no folder" >&2; return 2; }
  case "$dir" in /*) ;; *) dir="$PWD/$dir" ;; esac
  vx_wine_stop "$dir"
  rm -rf "$dir"
  mkdir -p "$dir"
  # The session wineboot starts goes on for the settings below: the registry
  # reaches the disk once, when the wineserver ends after them.
  ( vx_wine_env; export WINEPREFIX="$dir"; "$(_vx_loader)" wineboot -i ) </dev/null >/dev/null 2>&1
  [ -d "$dir/drive_c" ] || { echo "vx_make_prefix: wineboot failed in $dir" >&2; return 1; }

  # Never update this prefix again by itself: an update would recreate the
  # links into $HOME that are removed below.
  echo disable > "$dir/.update-timestamp"

  # Drives: keep only those that stay inside the prefix.
  local link target real entry
  for link in "$dir"/dosdevices/*:; do
    [ -L "$link" ] || continue
    target=$(readlink "$link")
    real=$(readlink -m "$dir/dosdevices/$target" 2>/dev/null)
    case "$target" in /*) real=$(readlink -m "$target") ;; esac
    case "$real" in "$dir"/*) ;; *) rm -f "$link" ;; esac
  done

  # User folders (Desktop, Documents, ..., and AppData/.../Templates): every
  # link below drive_c that leaves the prefix becomes an empty folder.
  while IFS= read -r entry; do
    real=$(readlink -m "$entry")
    case "$real" in "$dir"/*) ;; *) rm -f "$entry"; mkdir -p "$entry" ;; esac
  done < <(find "$dir/drive_c" -type l 2>/dev/null)

  # Wine draws the caption itself, so screenshots show the whole window. Wine
  # has no 宋体; its fallback draws broken glyphs at 12 pixels, so the window's
  # font is mapped to WenQuanYi Zen Hei. regedit reads the file in the ANSI
  # code page, GBK here.
  _vx_reg_dir="$dir/drive_c"
  iconv -f UTF-8 -t GBK > "$dir/drive_c/vx-setup.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
"Decorated"="Y"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"宋体"="WenQuanYi Zen Hei Sharp"
"SimSun"="WenQuanYi Zen Hei Sharp"
REG
  _vx_wine_reg "$dir" "$dir/drive_c/vx-setup.reg"
  rm -f "$dir/drive_c/vx-setup.reg"
  [ -f "$dir/system.reg" ] || { echo "vx_make_prefix: no registry in $dir" >&2; return 1; }
  _vx_wine_check_sandbox "$dir"
}

# Fails when any drive of the prefix or any link below drive_c leads out of it.
_vx_wine_check_sandbox() {
  local dir=$1 link real bad=0
  for link in "$dir"/dosdevices/*:; do
    [ -L "$link" ] || continue
    real=$(cd "$dir/dosdevices" && readlink -m "$(readlink "$link")")
    case "$(readlink "$link")" in /*) real=$(readlink -m "$(readlink "$link")") ;; esac
    if [ "$real" = / ] || [ "$real" = "$(readlink -m "$HOME")" ] || [ "$real" = "$(readlink -m "$HOME")/" ]; then
      echo "sandbox: drive $(basename "$link") maps to $real" >&2; bad=1
    fi
  done
  while IFS= read -r link; do
    real=$(readlink -m "$link")
    case "$real" in "$dir"/*) ;; *) echo "sandbox: $link leads to $real" >&2; bad=1 ;; esac
  done < <(find "$dir/drive_c" -type l 2>/dev/null)
  return $bad
}

# vx_map_drive DIR LETTER FOLDER [TYPE]: makes drive LETTER: of the prefix the
# folder FOLDER; TYPE (floppy, cdrom, network, ramdisk, hd) sets the type that
# GetDriveTypeA reports. Call it before the programs that use the drive start.
vx_map_drive() {
  local dir=$1 letter folder=$3 type=${4:-}
  letter=$(printf '%s' "${2%:}" | tr 'A-Z' 'a-z')
  [ -n "$dir" ] && [ -n "$folder" ] && [[ "$letter" =~ ^[a-z]$ ]] || {
    echo "usage: vx_map_drive PREFIX LETTER FOLDER [floppy|cdrom|network|ramdisk|hd]" >&2; return 2; }
  case "$dir" in /*) ;; *) dir="$PWD/$dir" ;; esac
  case "$folder" in /*) ;; *) folder="$PWD/$folder" ;; esac
  case "$type" in ""|floppy|cdrom|network|ramdisk|hd) ;; *) echo "vx_map_drive: unknown type $type" >&2; return 2 ;; esac
  vx_wine_stop "$dir"
  mkdir -p "$folder"
  rm -f "$dir/dosdevices/$letter:" "$dir/dosdevices/$letter::"
  ln -s "$folder" "$dir/dosdevices/$letter:"
  if [ -n "$type" ] && ! _vx_drive_type_is "$dir" "$letter" "$type"; then
    _vx_reg_dir="$dir/drive_c"
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n"%s:"="%s"\n' "$letter" "$type" \
      > "$dir/drive_c/vx-drive.reg"
    _vx_wine_reg "$dir" "$dir/drive_c/vx-drive.reg"
    rm -f "$dir/drive_c/vx-drive.reg"
  fi
}

# _vx_drive_type_is DIR LETTER TYPE: whether the prefix's registry, complete on
# disk while its wineserver is stopped, already gives the drive that type; a
# prefix used again (the stress run after the end-to-end tests) then needs no
# import, and no wineserver start and end for it.
_vx_drive_type_is() {
  [ -f "$1/system.reg" ] && awk -v want="\"$2:\"=\"$3\"" '
    /^\[/ { drives = index(tolower($0), "[software\\\\wine\\\\drives]") == 1 }
    drives && tolower($0) == want { found = 1 }
    END { exit !found }' "$1/system.reg"
}

# vx_set_dpi DIR DPI: the screen's scale for the prefix's next programs
# (LogPixels: 96 is 100 %, 144 is 150 %); the wineserver is ended, since a
# running one keeps the scale it started with.
vx_set_dpi() {
  local dir=$1
  _vx_reg_dir="$dir/drive_c"
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=dword:%08x\n' "$2" \
    > "$dir/drive_c/vx-dpi.reg"
  _vx_wine_reg "$dir" "$dir/drive_c/vx-dpi.reg"
  rm -f "$dir/drive_c/vx-dpi.reg"
}

# vx_prefix_owner DIR UID [FOLDER...]: hands the prefix (and drive folders)
# to an unprivileged user for VX_WINE_UID runs. The prefix's "wineserver" file
# names the server folder of the previous owner, which the new one cannot
# enter; it is removed and made again on the next start.
vx_prefix_owner() {
  local dir=$1 uid=$2; shift 2
  vx_wine_stop "$dir"
  rm -f "$dir/wineserver"
  chown -R "$uid:$uid" "$dir" "$@"
}

# vx_xvfb_start [WxH]: starts a private X server (1024x768 unless told) on the
# first free display number, exports DISPLAY and sets vx_xvfb_pid; vx_xvfb_stop ends it. Start it before
# the first Wine program: a Wine session started without a display never gets one.
vx_xvfb_pid=
vx_xvfb_start() {
  local n
  for n in $(seq 90 140); do [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break; done
  Xvfb ":$n" -screen 0 "${1:-1024x768}x24" -nolisten tcp >/dev/null 2>&1 &
  vx_xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
}
vx_xvfb_stop() {
  [ -n "$vx_xvfb_pid" ] && kill "$vx_xvfb_pid" 2>/dev/null
  vx_xvfb_pid=
}

# vx_wine DIR PROGRAM ARGS...: runs PROGRAM (a Linux path or a Windows name
# such as cmd) in the prefix with the project's Wine environment; returns the
# program's exit code. With VX_WINE_UID set, runs as that user (needs root and
# a prefix owned by that user, see vx_prefix_owner).
vx_wine() {
  local dir=$1; shift
  case "$dir" in /*) ;; *) dir="$PWD/$dir" ;; esac
  if [ -n "${VX_WINE_UID:-}" ]; then
    ( vx_wine_env; export WINEPREFIX="$dir" HOME="$dir"
      setpriv --reuid="$VX_WINE_UID" --regid="$VX_WINE_UID" --clear-groups "$(_vx_loader)" "$@" )
  else
    ( vx_wine_env; export WINEPREFIX="$dir"; "$(_vx_loader)" "$@" )
  fi
}
