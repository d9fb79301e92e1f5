#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12 machine (run as root).
# Idempotent: packages already present are skipped by apt, and the cross-built liblzma is kept in
# a cache outside the repository and reused when its stamp matches.
set -euo pipefail

CACHE_DIR="${TARVO_DEPS_CACHE:-/var/cache/tarvo-deps}"
PACKAGES=(
  cmake ninja-build make g++ file
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  mingw-w64-i686-dev mingw-w64-x86-64-dev binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth x11-apps imagemagick
  liblzma-dev libgtest-dev googletest dpkg-dev pkg-config python3 nsis
)

need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "bootstrap: run as root (apt-get needs it)" >&2
    exit 1
  fi
}

missing_packages() {
  local p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

ensure_deb_src() {
  local f=/etc/apt/sources.list.d/tarvo-deb-src.sources
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    cat > "$f" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    return 0
  fi
  return 1
}

install_packages() {
  local missing
  missing=$(missing_packages)
  local added_src=0
  ensure_deb_src && added_src=1
  if [ -n "$missing" ] || [ "$added_src" = 1 ] || [ ! -d /var/lib/apt/lists ] || [ -z "$(ls /var/lib/apt/lists/*Sources* 2>/dev/null)" ]; then
    apt-get update -q
  fi
  if [ -n "$missing" ]; then
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
  fi
}

# Static liblzma for one mingw target, built from Debian's xz-utils sources.
build_lzma() {
  local triple=$1 prefix="$CACHE_DIR/lzma-$1"
  local stamp="$prefix/.stamp"
  local version
  version=$(dpkg-query -W -f='${Version}' liblzma-dev)
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] && [ -f "$prefix/lib/liblzma.a" ]; then
    return 0
  fi
  local src="$CACHE_DIR/src"
  mkdir -p "$src"
  if [ -z "$(ls -d "$src"/xz-utils-*/ 2>/dev/null)" ]; then
    (cd "$src" && apt-get source -q --download-only xz-utils >/dev/null && dpkg-source -x xz-utils_*.dsc >/dev/null)
  fi
  local srcdir
  srcdir=$(ls -d "$src"/xz-utils-*/ | head -n 1)
  local bdir="$CACHE_DIR/build-$triple"
  rm -rf "$bdir" "$prefix"
  mkdir -p "$bdir"
  (cd "$bdir" && "$srcdir/configure" -q --host="$triple" --prefix="$prefix" \
      --enable-static --disable-shared --disable-xz --disable-xzdec --disable-lzmadec \
      --disable-lzmainfo --disable-scripts --disable-doc --disable-nls --disable-threads \
      CC="$triple-gcc-posix" CFLAGS="-O2" >/dev/null && make -s -j"$(nproc)" >/dev/null && make -s install >/dev/null)
  rm -rf "$bdir"
  echo "$version" > "$stamp"
}

need_root
install_packages
mkdir -p "$CACHE_DIR"
build_lzma i686-w64-mingw32
build_lzma x86_64-w64-mingw32
echo "bootstrap: ready (deps cache: $CACHE_DIR)"
