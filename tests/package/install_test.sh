#!/usr/bin/env bash
# Usage: install_test.sh BUILD_DIR CMAKE CXX
#
# Installs the build into a scratch prefix with `cmake --install`, then
# builds a small program against it twice: with find_package(ostrand) and
# with pkg-config. Both must print the Monday the library computes.
set -euo pipefail
build=$1
cmake=$2
cxx=$3
here=$(cd -- "$(dirname -- "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf -- "$scratch"' EXIT
prefix=$scratch/prefix

"$cmake" --install "$build" --prefix "$prefix" >"$scratch/install.log"
for file in bin/ostrand lib/libostrand.a include/ostrand/component/schedulers.h \
    include/ostrand/core/value.h lib/cmake/ostrand/ostrandConfig.cmake \
    lib/cmake/ostrand/ostrandConfigVersion.cmake lib/cmake/ostrand/ostrandTargets.cmake \
    lib/pkgconfig/ostrand.pc share/ostrand/db/schema.sql share/ostrand/db/schema-sqlserver.sql \
    share/man/man1/ostrand.1.gz \
    lib/systemd/system/ostrand.service etc/default/ostrand; do
  [ -e "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
for part in web feeds exports; do
  if [ -e "$prefix/include/ostrand/$part" ]; then
    echo "the headers of $part are not part of the library"
    exit 1
  fi
done
# The unit starts the program of this prefix.
grep -q "^ExecStart=$prefix/bin/ostrand serve " "$prefix/lib/systemd/system/ostrand.service"

expected=2001-11-26
"$cmake" -S "$here/consumer" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" >"$scratch/configure.log"
"$cmake" --build "$scratch/consumer" >"$scratch/build.log"
[ "$("$scratch/consumer/consumer")" = "$expected" ]

# pkg-config: no C++ standard in the flags, so the program names its own.
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
read -r -a flags <<<"$(pkg-config --cflags --libs ostrand)"
"$cxx" -std=c++20 -o "$scratch/consumer-pc" "$here/consumer/main.cpp" "${flags[@]}"
[ "$("$scratch/consumer-pc")" = "$expected" ]
echo "installed package builds with find_package and pkg-config"
