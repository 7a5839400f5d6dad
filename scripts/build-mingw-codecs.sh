#!/usr/bin/env bash
# Builds libbz2, liblzma and libwavpack for the Windows build: static
# libraries made with the MinGW-w64 cross compiler from Debian's own source
# packages, installed into PREFIX (default build/windows/codecs/prefix).
#
#   scripts/build-mingw-codecs.sh [PREFIX]
#
# The fuzz build uses the same script for copies instrumented like its own
# code (native, clang, sanitizers): CODECS_HOST= (empty: native),
# CODECS_CC, CODECS_AR, CODECS_RANLIB, CODECS_CFLAGS and CODECS_WAVPACK_FLAGS
# (extra configure options) choose the tools.
#
# The sources come from `apt-get source` through a private apt configuration
# in the build folder whose only sources are the machine's own, turned into
# deb-src entries; nothing else is downloaded and the system's apt state is
# left alone. A finished prefix holds a stamp with this script's checksum and
# the source versions; while it matches, the script does nothing, so only the
# first build pays (about a minute).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
prefix=${1:-$root/build/windows/codecs/prefix}
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
work=$(dirname "$prefix")
stamp=$prefix/.codecs-stamp
host=${CODECS_HOST-x86_64-w64-mingw32}
cc=${CODECS_CC:-$host-gcc-posix}
ar=${CODECS_AR:-$host-ar}
ranlib=${CODECS_RANLIB:-$host-ranlib}
cflags=${CODECS_CFLAGS:--O2}
hostopt=()
[ -z "$host" ] || hostopt=(--host="$host")
script_sum=$({ cat "${BASH_SOURCE[0]}"; echo "$host|$cc|$ar|$cflags|${CODECS_WAVPACK_FLAGS:-}"; } | sha256sum | cut -d' ' -f1)
[ -f "$stamp" ] && [ "$(head -1 "$stamp")" = "$script_sum" ] && exit 0
rm -f "$stamp"

start=$SECONDS

# ---- the private apt configuration: deb-src twins of the machine's sources
apt=$work/apt
rm -rf "$apt"
mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial"
for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed -E 's/^Types:.*/Types: deb-src/' "$f" > "$apt/sources.list.d/$(basename "$f")"
done
: > "$apt/sources.list"
if [ -f /etc/apt/sources.list ]; then
    sed -nE 's/^[[:space:]]*deb[[:space:]]+/deb-src /p' /etc/apt/sources.list > "$apt/sources.list"
fi
for f in /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -nE 's/^[[:space:]]*deb[[:space:]]+/deb-src /p' "$f" >> "$apt/sources.list"
done
aptopts=(-o "Dir::Etc::SourceList=$apt/sources.list"
         -o "Dir::Etc::SourceParts=$apt/sources.list.d"
         -o "Dir::State::Lists=$apt/lists"
         -o "Dir::Cache=$apt/cache"
         -o "APT::Sandbox::User=root"
         -o "Debug::NoLocking=1")
echo "codecs: fetching the source packages of bzip2, xz-utils and wavpack"
apt-get "${aptopts[@]}" -q update > "$apt/update.log" 2>&1 || { cat "$apt/update.log"; exit 1; }
src=$work/src
rm -rf "$src"
mkdir -p "$src"
(cd "$src" && apt-get "${aptopts[@]}" -q source bzip2 xz-utils wavpack > "$apt/source.log" 2>&1) ||
    { cat "$apt/source.log"; exit 1; }

one_dir() { # the unpacked source folder of a package
    find "$src" -maxdepth 1 -mindepth 1 -type d -name "$1-*" | head -1
}

# ---- bzip2: only the library's objects
bz=$(one_dir bzip2)
mkdir -p "$prefix/lib" "$prefix/include"
(cd "$bz" && for o in blocksort huffman crctable randtable compress decompress bzlib; do
     $cc $cflags -D_FILE_OFFSET_BITS=64 -c $o.c -o "$work/bz-$o.o"
 done)
rm -f "$prefix/lib/libbz2.a"
$ar rc "$prefix/lib/libbz2.a" "$work"/bz-*.o
$ranlib "$prefix/lib/libbz2.a"
cp "$bz/bzlib.h" "$prefix/include/"

# ---- xz-utils: liblzma alone, without threads, tools or documents
xz=$(one_dir xz-utils)
rm -rf "$work/xz-build" && mkdir -p "$work/xz-build"
(cd "$work/xz-build" && "$xz/configure" "${hostopt[@]}" CC="$cc" CFLAGS="$cflags" --prefix="$prefix" \
     --enable-static --disable-shared --disable-xz --disable-xzdec --disable-lzmadec \
     --disable-lzmainfo --disable-lzma-links --disable-scripts --disable-doc --disable-nls \
     --disable-threads --disable-encoders --enable-decoders=lzma1 --disable-microlzma \
     --disable-lzip-decoder > configure.log 2>&1 || { cat configure.log; exit 1; }
 make -C src/liblzma -j2 > make.log 2>&1 && make -C src/liblzma install > install.log 2>&1) ||
    { cat "$work/xz-build/make.log"; exit 1; }

# ---- wavpack: the library without its command-line tools
wv=$(one_dir wavpack)
rm -rf "$work/wv-build" && mkdir -p "$work/wv-build"
(cd "$work/wv-build" && "$wv/configure" "${hostopt[@]}" CC="$cc" CFLAGS="$cflags" --prefix="$prefix" \
     --enable-static --disable-shared --disable-apps --disable-dsd --disable-man ${CODECS_WAVPACK_FLAGS:-} \
     > configure.log 2>&1 || { cat configure.log; exit 1; }
 make -j2 > make.log 2>&1 && make install > install.log 2>&1) ||
    { cat "$work/wv-build/make.log"; exit 1; }

versions=$(cd "$src" && ls -d */ | tr -d / | tr '\n' ' ')
printf '%s\n%s\n' "$script_sum" "$versions" > "$stamp"
echo "codecs: built $versions into $prefix in $((SECONDS - start)) s"
