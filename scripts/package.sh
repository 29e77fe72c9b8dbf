#!/usr/bin/env bash
# Builds the bundle in release mode with the distribution's hardening flags
# and packs it as a Debian package with its polkit action, desktop entry and
# icon: build-package/tallowmere-uninstall-wizard_*.deb. Then checks both
# programs with hardening-check and the package with lintian, and fails on
# any error or warning of either.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# PIE, stack protector, _FORTIFY_SOURCE, full RELRO with BIND_NOW: the root
# tool above all must have them.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
# Debian 12 leaves these two out on amd64; hardening-check asks for both.
if [ "$(dpkg --print-architecture)" = amd64 ]; then
  CFLAGS="$CFLAGS -fstack-clash-protection -fcf-protection"
  CXXFLAGS="$CXXFLAGS -fstack-clash-protection -fcf-protection"
fi
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DTW_BUILD_TESTS=OFF \
  -DCMAKE_C_FLAGS="$CPPFLAGS $CFLAGS" -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
  > build-package.configure.log || { cat build-package.configure.log; exit 1; }
cmake --build build-package -j2
rm -f build-package/*.deb
(cd build-package && cpack -G DEB)
deb=$(ls build-package/*.deb)

bundle=build-package/TallowmereUninstallWizard.app/Contents/MacOS
for program in "$bundle/main" "$bundle/TallowmereUninstallWizard"; do
  hardening-check --color "$program"
done

# lintian speaks of the package as a whole; any error or warning fails.
lintian --fail-on error,warning --info "$deb"
echo "Package: $deb"
