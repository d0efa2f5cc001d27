#!/usr/bin/env bash
# Builds the static libxml2 that the Windows DLL links, for x86_64-w64-mingw32
# and i686-w64-mingw32, from Debian's own source package of the libxml2 that
# the native build uses (same version). The result is cached outside the
# source tree:
#   <build dir>/deps/<triplet>/{include,lib}
# Usage: scripts/build-com-deps.sh [BUILD_DIR]   (default: build-com)
# Needs the packages of scripts/setup-com.sh. Safe to run again: a triplet
# whose library is already built is skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=$(realpath -m "${1:-build-com}")
deps="$build_dir/deps"
src="$deps/src"
mkdir -p "$src"

triplets=(x86_64-w64-mingw32 i686-w64-mingw32)
todo=()
for t in "${triplets[@]}"; do
  [ -f "$deps/$t/lib/libxml2.a" ] &&
    [ -f "$deps/$t/include/libxml2/libxml/xmlversion.h" ] || todo+=("$t")
done
((${#todo[@]})) || { echo "libxml2 for MinGW already built in $deps"; exit 0; }

# The source package, fetched through a private copy of the apt sources with
# deb-src enabled, so that the machine's own configuration is left alone.
version=$(dpkg-query -W -f='${source:Version}' libxml2 2>/dev/null || true)
[ -n "$version" ] || version=$(apt-cache policy libxml2 | awk '/Candidate:/ {print $2}')
upstream=${version%%-*}
upstream=${upstream#*:}
tree_file="$src/tree-$version"
tree=""
[ -f "$tree_file" ] && tree=$(cat "$tree_file")
if [ -z "$tree" ] || [ ! -f "$tree/configure" ]; then
  apt_dir="$deps/apt"
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists" "$apt_dir/cache/archives"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    sed -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb deb-src/' "$f" \
      > "$apt_dir/sources.list.d/$(basename "$f")"
  done
  apt_opts=(-o "Dir::Etc::sourceparts=$apt_dir/sources.list.d"
            -o "Dir::Etc::sourcelist=/dev/null"
            -o "Dir::State::lists=$apt_dir/lists"
            -o "Dir::Cache=$apt_dir/cache"
            -o "APT::Sandbox::User=root")
  apt-get "${apt_opts[@]}" update -qq
  (cd "$src" && apt-get "${apt_opts[@]}" source --download-only -qq "libxml2=$version")
  orig=$(ls "$src"/libxml2_"$upstream".orig.tar.* | sed -n 1p)
  tree="$src/$(tar -tf "$orig" | sed -n "1s|/.*||p")"
  rm -rf "$tree"
  tar -xf "$orig" -C "$src"
  # Debian's own patches, so that the library matches the native one.
  debian_tar=$(ls "$src"/libxml2_*.debian.tar.* 2>/dev/null | sed -n 1p || true)
  if [ -n "$debian_tar" ]; then
    tar -xf "$debian_tar" -C "$tree"
    if [ -f "$tree/debian/patches/series" ]; then
      while read -r patch; do
        case "$patch" in ''|\#*) continue ;; esac
        patch -d "$tree" -p1 -s < "$tree/debian/patches/$patch"
      done < "$tree/debian/patches/series"
    fi
  fi
  # Some patches touch Makefile.am (documentation and test programs only):
  # keep the generated build files newer, so that make does not ask for the
  # autotools.
  find "$tree" -name aclocal.m4 -exec touch {} +
  sleep 1
  find "$tree" \( -name configure -o -name config.h.in -o -name Makefile.in \) \
    -exec touch {} +
  echo "$tree" > "$tree_file"
fi

jobs=${ZSEPA_JOBS:-2}
for t in "${todo[@]}"; do
  echo "== libxml2 $upstream for $t"
  work="$deps/build-$t"
  log="$deps/build-$t.log"
  rm -rf "$work"
  mkdir -p "$work"
  # The compiler's warnings about libxml2's own code go to the log only.
  if ! (cd "$work" && "$tree/configure" --host="$t" --prefix="$deps/$t" \
      --without-python --without-zlib --without-lzma --without-iconv \
      --without-icu --without-http --without-ftp --with-threads \
      --disable-shared --enable-static &&
    make -j"$jobs" libxml2.la &&
    make install-libLTLIBRARIES &&
    make -C include install) >"$log" 2>&1; then
    tail -n 30 "$log"
    echo "building libxml2 for $t failed; the whole log is $log" >&2
    exit 1
  fi
  rm -rf "$work"
done
echo "libxml2 for MinGW in $deps"
