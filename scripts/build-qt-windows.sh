#!/usr/bin/env bash
# Builds Qt for Windows (x86-64, static) from Debian's own qt6-base source package, once per machine, and prints
# the folder it is installed in. The windows configuration builds the tuner window, the program and their tests
# with it.
# Usage: scripts/build-qt-windows.sh            build if needed; print the install folder on standard output
#        scripts/build-qt-windows.sh --query    print the folder if a finished build is there; else exit 1
#
# - The source comes through apt-get source with a private apt configuration (its own source list, lists and
#   cache under the cache folder) that adds deb-src for the suites this machine's apt already uses: the machine's
#   apt configuration is never changed. The version is the one of the installed qt6-base-dev, whose tools (moc,
#   rcc, uic) the cross build uses as its host tools.
# - The cache folder is ${XDG_CACHE_HOME:-~/.cache}/zemtar-tuner; ZT_QT_WINDOWS_CACHE overrides it. The install
#   folder is named after the Qt version and a hash of the configure line, and counts as finished only when its
#   stamp file is there: an interrupted or failed build is never taken for a finished one (its build folder is
#   kept, and the next run carries on from it). The 2 GB build folder is deleted after a successful install.
# - Qt is LGPL-3.0 / GPL; its licence texts and Debian's copyright file (which also covers the bundled freetype,
#   harfbuzz, libpng, zlib, PCRE2 and double-conversion) go into licenses/ of the install folder, and from there
#   beside the program.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
query=0
case "${1:-}" in
  --query) query=1 ;;
  "") ;;
  *) echo "usage: $0 [--query]" >&2; exit 2 ;;
esac

say() { echo "build-qt-windows: $*" >&2; }
die() { say "$*"; exit 1; }

cache="${ZT_QT_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zemtar-tuner}"
host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null) ||
  die "qt6-base-dev is not installed (scripts/install-deps.sh installs it): its tools are the host tools"
upstream=${host_version%%+*}; upstream=${upstream%%-*}; upstream=${upstream#*:}

toolchain="$root/cmake/mingw-w64-x86_64-compilers.cmake"
# The smallest Qt that the program and its tests need: Core, Gui, Widgets, Test, the Windows and offscreen
# platforms (the offscreen one draws text with the bundled freetype), the Windows styles. Nothing that needs a
# library from outside the source (dbus, OpenGL, ICU, OpenSSL, fontconfig, jpeg).
# Debian's tarball has no wintab sources, hence no tablet events.
configure_args=(
  -release -static -static-runtime -qt-host-path /usr
  -nomake tests -nomake examples -nomake benchmarks
  -no-dbus -no-opengl -no-openssl -no-icu -no-fontconfig -no-libjpeg
  -qt-freetype -qt-zlib -qt-pcre -qt-libpng -qt-harfbuzz -qt-doubleconversion
  -no-feature-network -no-feature-sql -no-feature-printsupport -no-feature-concurrent -no-feature-xml
  -no-feature-vulkan -no-feature-tabletevent -no-feature-zstd
)
cmake_args=(
  -G Ninja
  "-DCMAKE_TOOLCHAIN_FILE=$toolchain"
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
)
compiler_version=$(x86_64-w64-mingw32-g++-posix -dumpfullversion 2>/dev/null) ||
  die "x86_64-w64-mingw32-g++-posix is missing: install g++-mingw-w64-x86-64-posix (scripts/install-deps.sh)"
# (The toolchain by its contents, not its path: every checkout on the machine shares one Qt.)
key=$(printf '%s\n' "$host_version" "$compiler_version" "${configure_args[*]}" "${cmake_args[*]//$root\//}" \
        "$(cat "$toolchain")" | sha256sum | cut -c1-12)
prefix="$cache/qt-$upstream-mingw64-static-$key"
stamp="$prefix/zt-qt-complete"

if [ -e "$stamp" ]; then
  echo "$prefix"
  exit 0
fi
[ "$query" = 1 ] && exit 1

for tool in cmake ninja perl dpkg-source apt-get; do
  command -v "$tool" >/dev/null || die "$tool is missing: run scripts/install-deps.sh"
done
mkdir -p "$cache"
exec 8>"$cache/qt-build.lock"
flock -w 7200 8 || die "another build of Qt for Windows holds $cache/qt-build.lock"
if [ -e "$stamp" ]; then echo "$prefix"; exit 0; fi

# 1. The source, once per Debian version.
src_parent="$cache/qt6-base-source-$host_version"
if [ ! -e "$src_parent/zt-source-complete" ]; then
  say "fetching Debian's qt6-base $host_version source with apt-get source (private apt configuration)"
  apt_dir="$cache/apt"
  rm -rf "$apt_dir" "$src_parent"
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$src_parent"
  # deb-src beside every deb line of the machine's own sources, in both formats apt reads.
  n=0
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    n=$((n + 1))
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >"$apt_dir/sources.list.d/machine-$n.list"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    n=$((n + 1))
    sed 's/^Types:.*/Types: deb-src/' "$f" >"$apt_dir/sources.list.d/machine-$n.sources"
  done
  apt_opts=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
            -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
            -o "Debug::NoLocking=true" -o "APT::Sandbox::User=$(id -un)")
  # A source that has no Sources index makes update fail as a whole; what counts is whether qt6-base is found.
  timeout 600 apt-get "${apt_opts[@]}" -qq update >"$cache/apt-update.log" 2>&1 || true
  if ! (cd "$src_parent" &&
        { timeout 1200 apt-get "${apt_opts[@]}" -qq source "qt6-base=$host_version" ||
          timeout 1200 apt-get "${apt_opts[@]}" -qq source qt6-base; } >"$cache/apt-source.log" 2>&1); then
    cat "$cache/apt-update.log" "$cache/apt-source.log" >&2
    die "could not fetch the qt6-base source package: this machine's apt sources offer no deb-src for it" \
        "(check network access to the machine's Debian mirror; the lines above are apt's)"
  fi
  src_found=$(find "$src_parent" -mindepth 1 -maxdepth 1 -type d -name "qt6-base-*" | head -n 1)
  [ -n "$src_found" ] && [ -x "$src_found/configure" ] || die "apt-get source unpacked no qt6-base tree"
  case "$(basename "$src_found")" in
    "qt6-base-$upstream"*) ;;
    *) die "the source found is $(basename "$src_found"), but the host Qt is $upstream: they must match" ;;
  esac
  rm -f "$src_parent"/*.orig.tar.* "$src_parent"/*.debian.tar.*
  touch "$src_parent/zt-source-complete"
fi
src=$(find "$src_parent" -mindepth 1 -maxdepth 1 -type d -name "qt6-base-*" | head -n 1)

# 2. Configure (once per key; a configure that did not finish starts again from an empty folder).
build="$cache/qt-build-$key"
if [ ! -e "$build/zt-configured" ]; then
  rm -rf "$build"
  mkdir -p "$build"
  say "configuring Qt $upstream for x86_64-w64-mingw32 in $build (log: $build/configure.log)"
  if ! (cd "$build" && "$src/configure" -prefix "$prefix" "${configure_args[@]}" -- "${cmake_args[@]}") \
       >"$build/configure.log" 2>&1; then
    tail -n 40 "$build/configure.log" >&2
    die "configuring Qt failed (the whole log: $build/configure.log)"
  fi
  touch "$build/zt-configured"
fi

# 3. Build, showing the build's own step counter every 50 steps.
jobs=$(nproc 2>/dev/null || echo 2)
say "building Qt for Windows: about 1000 steps, about 62 CPU-minutes (25 to 45 min on 2 cores); once per machine," \
    "an interrupted build carries on where it stopped (log: $build/build.log)"
start=$SECONDS
set +e
ninja -C "$build" -j "$jobs" 2>&1 | tee "$build/build.log" |
  awk '/^\[[0-9]+\/[0-9]+\]/ { split(substr($1, 2), a, "/"); step = a[1] + 0;
         if (step % 50 == 0 || step == a[2] + 0) { print "build-qt-windows: step " step " of " a[2] + 0; fflush() } }' >&2
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
  grep -E -B2 -A12 'FAILED|error:' "$build/build.log" | tail -n 60 >&2
  die "building Qt failed after $((SECONDS - start)) s (the whole log: $build/build.log); run again to carry on"
fi
say "built in $((SECONDS - start)) s"

# 4. Install, the licences beside it, then the stamp; the build folder goes.
rm -rf "$prefix"
if ! cmake --install "$build" >"$build/install.log" 2>&1; then
  tail -n 20 "$build/install.log" >&2
  die "installing Qt into $prefix failed (log: $build/install.log)"
fi
mkdir -p "$prefix/licenses"
# The licences this Qt is used under (not the commercial one, which needs a contract with the Qt Company).
find "$src/LICENSES" -name '*.txt' ! -name 'LicenseRef-Qt-Commercial*' -exec cp {} "$prefix/licenses/" \;
cp "$src/debian/copyright" "$prefix/licenses/debian-copyright.txt"
ls "$prefix/licenses" | grep -q -i 'lgpl' || die "no LGPL licence text found in the Qt source"
echo "Qt $upstream ($host_version, Debian's qt6-base source), static, for x86_64-w64-mingw32" >"$prefix/zt-qt-version"
touch "$stamp"
rm -rf "$build"
say "Qt for Windows installed in $prefix"
echo "$prefix"
