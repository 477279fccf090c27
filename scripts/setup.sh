#!/bin/bash
# Installs what the build and the tests need and builds PCRE2 (16-bit) for
# mingw-w64 from Debian's source package. Safe to run again: every step is
# skipped when its result is already there.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
CACHE="$ROOT/.cache"
PCRE2_PREFIX="$CACHE/pcre2/install"

PACKAGES=(
  g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
  cmake ninja-build ccache dpkg-dev
  wine wine64 xvfb xdotool x11-utils imagemagick
  googletest python3 lua5.4
  fonts-wqy-microhei
)

log() { echo "setup: $*" >&2; }

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# Adds deb-src entries mirroring the machine's own Debian sources, so the
# source package comes from wherever this machine already gets its packages.
ensure_deb_src() {
  if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return 0
  fi
  log "adding deb-src entries derived from the Debian sources"
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -E 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      | as_root tee /etc/apt/sources.list.d/qrv-deb-src.sources >/dev/null
  elif [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed -E 's/^deb /deb-src /' \
      | as_root tee /etc/apt/sources.list.d/qrv-deb-src.list >/dev/null
  else
    log "no Debian sources file found"; exit 1
  fi
  as_root apt-get update -qq
}

# Tries each source version apt knows, newest first: a mirror may carry the
# main archive's sources but not the security archive's.
fetch_pcre2_source() {
  local work="$1" v
  for v in $(apt-cache showsrc pcre2 | sed -n 's/^Version: //p' | sort -rV); do
    log "fetching the pcre2 source package $v"
    if (cd "$work" && apt-get source -qq "pcre2=$v" >&2 2>/dev/null); then return 0; fi
    rm -rf "${work:?}"/*
  done
  log "could not fetch the pcre2 source package"; exit 1
}

build_pcre2() {
  [ -f "$PCRE2_PREFIX/lib/libpcre2-16.a" ] && return 0
  ensure_deb_src
  local work="$CACHE/pcre2/work"
  rm -rf "$work" && mkdir -p "$work"
  fetch_pcre2_source "$work"
  local src
  src="$(find "$work" -maxdepth 1 -mindepth 1 -type d -name 'pcre2-*' | head -1)"
  [ -n "$src" ] || { log "pcre2 source not found"; exit 1; }
  log "building pcre2 (16-bit, static, JIT) for mingw-w64"
  cmake -S "$src" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$PCRE2_PREFIX" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON \
    -DPCRE2_BUILD_PCRE2_8=OFF -DPCRE2_BUILD_PCRE2_16=ON -DPCRE2_BUILD_PCRE2_32=OFF \
    -DPCRE2_SUPPORT_JIT=ON -DPCRE2_SUPPORT_UNICODE=ON \
    -DPCRE2_BUILD_TESTS=OFF -DPCRE2_BUILD_PCRE2GREP=OFF >&2
  cmake --build "$work/build" >&2
  cmake --install "$work/build" >&2
  rm -rf "$work"
}

install_missing_packages
build_pcre2
log "ready"
