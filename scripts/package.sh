#!/usr/bin/env bash
# Builds the bundle in release mode with the distribution's hardening flags
# and packs it as a Debian package with its polkit action, desktop entry and
# icon: build-package/tallowmere-uninstall-wizard_*.deb. Then checks both
# programs with hardening-check and the package with lintian, and fails on
# any error or warning of either.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh lintian devscripts binutils desktop-file-utils
# PIE, stack protector, _FORTIFY_SOURCE, full RELRO with BIND_NOW: the root
# tool above all must have them.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
# Debian 12 leaves these two out on amd64; both cost next to nothing.
cfcheck=
if [ "$(dpkg --print-architecture)" = amd64 ]; then
  CFLAGS="$CFLAGS -fstack-clash-protection -fcf-protection"
  CXXFLAGS="$CXXFLAGS -fstack-clash-protection -fcf-protection"
  # A program is marked as control-flow protected only when every object
  # linked into it is; Debian 12's C start files (crt1.o, crti.o) are not,
  # so no program built here can be, and hardening-check is not asked.
  readelf -n "$(gcc -print-file-name=crt1.o)" | grep -q "x86 feature: IBT" || cfcheck=--nocfprotection
fi
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DTW_BUILD_TESTS=OFF \
  -DCMAKE_C_FLAGS="$CPPFLAGS $CFLAGS" -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
  > build-package.configure.log || { cat build-package.configure.log; exit 1; }
cmake --build build-package -j2
rm -f build-package/*.deb
(cd build-package && cpack -G DEB)
deb=$(ls build-package/*.deb)

# Every source was compiled with the fortified C library calls. hardening-check
# sees that only where the compiler left a checked call in the program: the
# wizard's few C library calls all have sizes it could prove at build time,
# so they need no check and the tool would call it unfortified. For the
# wizard the compile commands above are the evidence instead.
if grep '"command"' build-package/compile_commands.json | grep -v -- '-D_FORTIFY_SOURCE=2' >/dev/null; then
  echo "a source was compiled without -D_FORTIFY_SOURCE=2" >&2
  exit 1
fi
bundle=build-package/TallowmereUninstallWizard.app/Contents/MacOS
# hardening-check's report, less the lines of the checks not asked for (it
# prints them as "no, not found! (ignored)"), which are named in one line.
check_hardening() {
  local report status=0 skipped
  report=$(hardening-check "$@") || status=$?
  grep -v "(ignored)$" <<< "$report" || true
  skipped=$(grep "(ignored)$" <<< "$report" | sed 's/^ *//; s/:.*//' | paste -sd, - | sed 's/,/, /g')
  if [ -n "$skipped" ]; then
    echo " Not asked, for the reasons given in scripts/package.sh: $skipped"
  fi
  return $status
}
check_hardening $cfcheck "$bundle/main"
check_hardening $cfcheck --nofortify "$bundle/TallowmereUninstallWizard"

# The desktop entry as packaged: valid, and naming the window class that Qt
# gives the program (its file name), so that the desktop matches the window.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
entry=$(ls "$unpacked"/usr/share/applications/*.desktop)
desktop-file-validate "$entry"
grep -qx "StartupWMClass=TallowmereUninstallWizard" "$entry" || {
  echo "the desktop entry does not name the window class TallowmereUninstallWizard" >&2; exit 1; }

# lintian speaks of the package as a whole; any error or warning fails.
lintian --fail-on error,warning --info "$deb"
echo "Package: $deb"
