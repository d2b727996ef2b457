#!/usr/bin/env bash
# Installs the three Debian packages that cpack built in BUILD_DIR into this system, builds
# the out-of-tree clients (tests/install) against /usr through CMake and pkg-config, runs them
# and gridquill-csv, then purges the packages and checks that no file of theirs is left.
# The packages are installed for seconds and removed on every way out; runs of this test on
# one machine take turns. Usage: run.sh BUILD_DIR CLIENT_SOURCE_DIR WORK_DIR CSV VERSION
set -euo pipefail
build=$1 clients=$2 work=$3 csv=$4 version=$5

if [ "$(id -u)" != 0 ]; then
  echo "SKIPPED: not running as root, so dpkg cannot install the packages"; exit 0
fi
if ! command -v dpkg >/dev/null || ! command -v dpkg-deb >/dev/null; then
  echo "SKIPPED: dpkg is not available (not a Debian system)"; exit 0
fi
. "$(dirname "$0")/debs.sh"

rm -rf "$work" && mkdir -p "$work"
exec 9>/tmp/gridquill-package-test.lock
flock -w 900 9

packages=() files=()
for deb in "${debs[@]}"; do
  packages+=("$(dpkg-deb -f "$deb" Package)")
  # Every path the package brings, and whether it was here before: nothing may be replaced.
  while read -r path; do
    path=${path#.}
    [ -n "$path" ] && [ "$path" != / ] || continue
    if [ -e "$path" ] && [ ! -d "$path" ]; then
      echo "FAILED: $path exists already; installing $(basename "$deb") would replace it"; exit 1
    fi
    [ -e "$path" ] || files+=("$path")
  done < <(dpkg-deb --fsys-tarfile "$deb" | tar -t)
done
for package in "${packages[@]}"; do
  if dpkg-query -W -f '${Status}' "$package" 2>/dev/null | grep -q installed; then
    echo "FAILED: $package is installed already"; exit 1
  fi
done

purge() {
  dpkg --purge "${packages[@]}" >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; exit 1; }
}
trap purge EXIT
dpkg -i "${debs[@]}" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }

# The installed files: library, headers, CMake package, pkg-config file, man pages, tool.
for path in /usr/include/gridquill.h /usr/include/gridquill.hpp \
    /usr/share/man/man3/gridquill.3.gz /usr/share/man/man3/xlsInit.3.gz \
    /usr/share/man/man1/gridquill-csv.1.gz /usr/bin/gridquill-csv \
    /usr/share/doc/libgridquill1/copyright /usr/share/doc/gridquill-tools/changelog.Debian.gz; do
  [ -e "$path" ] || { echo "FAILED: $path not installed"; exit 1; }
done

# The clients, built against /usr as a user's program is: CMake's find_package and pkg-config.
flags=(-Wall -Wextra -Wpedantic -Werror)
cmake -S "$clients" -B "$work/cmake" "-DCMAKE_C_FLAGS=${flags[*]}" "-DCMAKE_CXX_FLAGS=${flags[*]}" \
  >"$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; exit 1; }
cmake --build "$work/cmake" >>"$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; exit 1; }
# shellcheck disable=SC2046
cc -std=c99 "${flags[@]}" "$clients/client.c" $(pkg-config --cflags --libs gridquill) \
  -o "$work/pc_client"
"$work/cmake/client_c" "$work/c.xml"
"$work/cmake/client_cpp" "$work/cpp.xml"
said=$("$work/pc_client" "$work/pc.xml")
[ "$said" = "client: $work/pc.xml written with Gridquill $version" ] ||
  { echo "FAILED: the pkg-config client said: $said"; exit 1; }
said=$(gridquill-csv --version)
[ "$said" = "gridquill-csv $version" ] || { echo "FAILED: gridquill-csv --version: $said"; exit 1; }
gridquill-csv -q "$csv" -o "$work/csv.xml"
for book in c cpp pc csv; do
  python3 -c 'import sys, xml.parsers.expat as e; e.ParserCreate().Parse(open(sys.argv[1], "rb").read(), True)' \
    "$work/$book.xml"
done

trap - EXIT
purge
for package in "${packages[@]}"; do
  if dpkg-query -W -f '${Status}' "$package" 2>/dev/null | grep -q 'installed\|config-files'; then
    echo "FAILED: $package is still known to dpkg after the purge"; exit 1
  fi
done
for path in "${files[@]}"; do
  if [ -e "$path" ] || [ -L "$path" ]; then
    echo "FAILED: $path is left behind after the purge"; exit 1
  fi
done
echo "packages ${packages[*]} installed, used and purged without a trace"
