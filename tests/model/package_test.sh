#!/bin/sh
# Makes the Debian package of the build, unpacks it, and runs the client it
# holds on the sample, with nothing from the build tree on its path. The
# package holds the whole install, whose files install_test.sh checks.
#   package_test.sh BUILD_DIR SAMPLE
set -eu
build=$1
sample=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvovcard-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >/dev/null
package=$(ls "$work"/tarvovcard_*.deb)
dpkg-deb -f "$package" Package Version Depends | grep -q "^Package: tarvovcard"
dpkg-deb -x "$package" "$work/root"
"$work/root/usr/bin/tarvovcard" to-vcard "$work/out.vcf" "$sample" 2>/dev/null
grep -q "^FN:Dr. Ada Lindqvist" "$work/out.vcf"
