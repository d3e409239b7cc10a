#!/bin/sh
# Installs the build into a temporary prefix, compiles the example clients
# against the install with pkg-config alone and with the CMake package, and
# runs them from the shell with no library path set.
#   install_test.sh BUILD_DIR EXAMPLES_DIR CXX [EXTRA_FLAGS]
set -eu
build=$1
examples=$(cd "$2" && pwd)
cxx=$3
extra=${4:-}

prefix=$(mktemp -d "${TMPDIR:-/tmp}/tarvovcard-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
# Headers, libraries, .pc file and CMake package: the clients below use them.
for f in share/man/man1/tarvovcard.1 share/doc/TarvovCard/README.md \
  share/doc/TarvovCard/examples/phone_list.cpp; do
  test -f "$prefix/$f" || { echo "install_test: missing $f" >&2; exit 1; }
done

unset LD_LIBRARY_PATH
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
run_examples() {  # DIR: build_card, then phone_list on the sample
  "$1/build_card" >/dev/null
  "$1/phone_list" "$examples/sample.vcf" "$prefix/phones.vcf" | grep -q "Ada Lindqvist"
}
for name in build_card phone_list; do
  # shellcheck disable=SC2046,SC2086
  "$cxx" -std=c++20 -Wall -Wextra $extra -o "$prefix/$name" "$examples/$name.cpp" \
    $(pkg-config --cflags --libs tarvovcard)
done
run_examples "$prefix"

# The same clients through the CMake package.
mkdir "$prefix/client"
cat >"$prefix/client/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(example_clients CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(TarvovCard 1.0 REQUIRED)
foreach(name build_card phone_list)
  add_executable(\${name} "$examples/\${name}.cpp")
  target_compile_options(\${name} PRIVATE $extra)
  target_link_options(\${name} PRIVATE $extra)
  target_link_libraries(\${name} PRIVATE TarvovCard::tarvovcard)
endforeach()
CMAKE
cmake -S "$prefix/client" -B "$prefix/client/build" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/client/build" >/dev/null
run_examples "$prefix/client/build"
