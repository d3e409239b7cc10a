#!/bin/sh
# Installs the build into a temporary prefix, compiles the example client
# against the install with pkg-config alone, and runs it.
#   install_test.sh BUILD_DIR CLIENT_SOURCE CXX [EXTRA_FLAGS]
set -eu
build=$1
client=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
cxx=$3
extra=${4:-}

prefix=$(mktemp -d "${TMPDIR:-/tmp}/tarvovcard-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in include/tarvovcard/tarvovcard.h include/tarvovcard/automation_types.h \
         include/tarvovcard/platform.h include/tarvovcard/platform/objbase.h \
         lib/pkgconfig/tarvovcard.pc lib/cmake/TarvovCard/TarvovCardConfig.cmake \
         lib/cmake/TarvovCard/TarvovCardConfigVersion.cmake; do
  test -f "$prefix/$f" || { echo "install_test: missing $f" >&2; exit 1; }
done
ls "$prefix"/lib/libtarvovcard.so* "$prefix"/lib/libtarvovcard_platform.so* >/dev/null

export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
libdir=$(pkg-config --variable=libdir tarvovcard)
# shellcheck disable=SC2046,SC2086
"$cxx" -std=c++20 -Wall -Wextra $extra -o "$prefix/build_card" "$client" \
  $(pkg-config --cflags --libs tarvovcard) -Wl,-rpath,"$libdir"
"$prefix/build_card"

# The same client through the CMake package.
mkdir "$prefix/client"
cat >"$prefix/client/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(build_card_client CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(TarvovCard 1.0 REQUIRED)
add_executable(build_card "$client")
target_compile_options(build_card PRIVATE $extra)
target_link_options(build_card PRIVATE $extra)
target_link_libraries(build_card PRIVATE TarvovCard::tarvovcard)
CMAKE
cmake -S "$prefix/client" -B "$prefix/client/build" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/client/build" >/dev/null
"$prefix/client/build/build_card" >/dev/null
