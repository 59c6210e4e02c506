# Shared by scripts/run and scripts/test: installs what is missing, builds the
# third-party libraries and the program, and manages Wine and the X server.
# Sourced, not run.

KB_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
KB_BUILD=$KB_ROOT/build
KB_DEPS=$KB_BUILD/deps
KB_PREFIX_DIR=$KB_DEPS/prefix

kb_log() { printf '%s\n' "keepboot: $*" >&2; }

kb_as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

KB_PACKAGES=(
  cmake ninja-build dpkg-dev
  g++-mingw-w64-i686-posix mingw-w64-tools libz-mingw-w64-dev
  wine wine32:i386 wine64 fonts-wine xvfb xauth x11-apps imagemagick wixl zip libxml2-utils
  googletest
)

kb_libpng_src_entry=/etc/apt/sources.list.d/keepboot-deb-src.sources

# Source entries for the Debian archives this machine already uses, so that
# apt-get source can fetch libpng: each configured "deb" entry for this
# release's suites, enabled and not already carrying deb-src, is repeated as
# "deb-src". No host name is written here; they all come from the machine's
# own configuration.
kb_ensure_deb_src() {
  local listed codename
  listed=$(apt-cache showsrc libpng1.6 2>/dev/null || true)
  case "$listed" in *Version:*) return 0 ;; esac
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  kb_log "adding source entries beside the configured package sources"
  {
    # deb822 files: each stanza of Types "deb" becomes one of "deb-src".
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] && [ "$f" != "$kb_libpng_src_entry" ] || continue
      awk -v release="$codename" 'BEGIN { RS = ""; ORS = "\n\n" }
           /(^|\n)Types:[^\n]*(^|[ \t])deb([ \t]|\n|$)/ && !/(^|\n)Types:[^\n]*deb-src/ &&
           !/(^|\n)Enabled:[ \t]*no/ && $0 ~ ("(^|\n)Suites:[^\n]*" release) {
             sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' "$f"
    done
    # One-line files: "deb [options] uri suite components" becomes a stanza.
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [ -f "$f" ] || continue
      sed -n "s/^[[:space:]]*deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]\+\)[[:space:]]\+\($codename[^[:space:]]*\)[[:space:]]\+\(.*\)\$/Types: deb-src\nURIs: \2\nSuites: \3\nComponents: \4\n/p" "$f"
    done
  } | kb_as_root tee "$kb_libpng_src_entry" >/dev/null
  KB_APT_UPDATED=
}

# A mirror caught in the middle of a sync serves index files of the wrong size
# for a minute or two: try again after a pause. If one index still fails, go on
# with what apt did fetch; a package that then cannot be found fails the
# install, which names it.
kb_apt_update() {
  [ -n "${KB_APT_UPDATED:-}" ] && return 0
  local attempt
  for attempt in 1 2 3 4; do
    if kb_as_root apt-get update -qq; then
      KB_APT_UPDATED=1
      return 0
    fi
    [ "$attempt" -lt 4 ] || break
    kb_log "the package index could not be fetched whole; trying again in $((attempt * 20)) s"
    sleep $((attempt * 20))
  done
  kb_log "going on with the package index as fetched"
  KB_APT_UPDATED=1
}

kb_ensure_packages() {
  local missing=() pkg
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    kb_as_root dpkg --add-architecture i386
    KB_APT_UPDATED=
    missing+=(wine32:i386)
  fi
  for pkg in "${KB_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    kb_log "installing ${missing[*]}"
    kb_apt_update
    # A package fetched mid-sync fails its hash: fetch the index again once.
    DEBIAN_FRONTEND=noninteractive kb_as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
      { kb_log "installing failed; fetching the package index again"
        sleep 30; KB_APT_UPDATED=; kb_apt_update
        DEBIAN_FRONTEND=noninteractive kb_as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; }
  fi
  kb_ensure_deb_src
}

# libpng from Debian's source package, Debian's patches applied, built as a
# static i686 library. The newest listed version may not be served yet, so
# fall back to older listed ones.
kb_ensure_libpng() {
  [ -f "$KB_PREFIX_DIR/lib/libpng16.a" ] && return 0
  kb_apt_update
  local work=$KB_DEPS/libpng-src version
  rm -rf "$work" && mkdir -p "$work"
  for version in $(apt-cache showsrc libpng1.6 | sed -n 's/^Version: //p' | sort -V -r -u); do
    if (cd "$work" && apt-get source -qq --download-only "libpng1.6=$version" >/dev/null 2>&1); then
      kb_log "building libpng $version"
      (cd "$work" && dpkg-source -x --no-check ./*.dsc tree >/dev/null)
      cmake -S "$work/tree" -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$KB_ROOT/cmake/mingw-i686.toolchain.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$KB_PREFIX_DIR" \
        -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON >/dev/null
      cmake --build "$work/build" >/dev/null
      cmake --install "$work/build" >/dev/null
      return 0
    fi
    rm -f "$work"/*
    kb_log "libpng $version is listed but not served; trying an older one"
  done
  kb_log "no version of libpng1.6 could be fetched"
  return 1
}

kb_build() {
  kb_ensure_packages
  kb_ensure_libpng
  cmake --preset mingw -S "$KB_ROOT" -DKEEPBOOT_WERROR="${KEEPBOOT_WERROR:-OFF}" >/dev/null
  cmake --build --preset mingw
}

# The MSI and the zip of the built program into the folder given; a second
# argument makes the MSI claim that version instead (the upgrade test).
kb_package() {
  local out=${1:?folder} version stage
  version=${2:-$(cat "$KB_BUILD/keepboot/version.txt")}
  stage=$out/stage
  rm -rf "$stage" && mkdir -p "$stage"
  cp "$KB_BUILD/keepboot/Keepboot.exe" "$stage/"
  # Text files as Windows users open them: CRLF line ends.
  sed 's/$/\r/' "$KB_ROOT/README.md" >"$stage/README.txt"
  # The user's guide the README points to, beside it.
  sed 's/$/\r/' "$KB_ROOT/docs/USING.md" >"$stage/USING.txt"
  sed 's/$/\r/' "$KB_ROOT/LICENSE" >"$stage/LICENSE.txt"
  # The administrative template, for the administrator's PolicyDefinitions.
  mkdir -p "$stage/en-US"
  cp "$KB_ROOT/policy/template/Keepboot.admx" "$stage/"
  cp "$KB_ROOT/policy/template/en-US/Keepboot.adml" "$stage/en-US/"
  rm -f "$out/Keepboot-$version.msi"
  # wixl takes the files' sources relative to where it runs.
  (cd "$stage" && wixl -a x86 -D Version="$version" -o "$out/Keepboot-$version.msi" \
    "$KB_ROOT/packaging/Keepboot.wxs")
  [ -s "$out/Keepboot-$version.msi" ] || { kb_log "wixl made no package"; return 1; }
  rm -f "$out/Keepboot-$version.zip"
  (cd "$stage" && zip -q -X "$out/Keepboot-$version.zip" Keepboot.exe README.txt USING.txt LICENSE.txt \
    Keepboot.admx en-US/Keepboot.adml)
  kb_log "wrote $out/Keepboot-$version.msi and $out/Keepboot-$version.zip"
}

# --- Wine and X ----------------------------------------------------------

# A 32-bit prefix by default, as on 32-bit Windows; win64 gives the
# program the registry views of 64-bit Windows.
kb_wine_env() {
  export WINEPREFIX=${1:?prefix}
  export WINEARCH=${2:-win32}
  export KEEPBOOT_WINEARCH=$WINEARCH
  export WINEDEBUG=-all
  # Wine starts its menu builder for every shortcut saved; none is wanted here.
  export WINEDLLOVERRIDES="winemenubuilder.exe=d"
}

kb_ensure_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    kb_log "creating Wine prefix $WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    # No Mono or Gecko installer dialog on first boot.
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" wineboot -i >/dev/null 2>&1
    # A crash ends the process instead of opening a dialog that would block.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
  fi
}

KB_XVFB_PID=
# A virtual screen (Xvfb) when there is no display; KB_VIRTUAL_DISPLAY says so.
kb_ensure_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    KB_XVFB_PID=$!
    export DISPLAY=":$n"
    KB_VIRTUAL_DISPLAY=1
    local i
    for i in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && return 0
      kill -0 "$KB_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
  done
  kb_log "could not start Xvfb"
  return 1
}

# One wineserver for the whole run, so later Wine starts are quick.
kb_start_wineserver() {
  wineserver -p 2>/dev/null || true  # one may already run for this prefix
}

kb_stop_wineserver() {
  wineserver -k >/dev/null 2>&1 || true
}

kb_cleanup() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [ -n "$KB_XVFB_PID" ]; then kill "$KB_XVFB_PID" 2>/dev/null || true; wait "$KB_XVFB_PID" 2>/dev/null || true; fi
}
