#!/usr/bin/env bash
# Runs scripts/demo.sh without the window and checks that the removal acted on
# the made-up installation only and that nothing of the machine changed.
#
#   demo-test.sh <demo.sh> <build-dir>
set -uo pipefail
demo=$1 build=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_line() { grep -qxF -- "$2" <<<"$1" || fail "no line '$2'"; }

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: the demo needs root"; exit 77
fi
if ! unshare --mount --propagation private true 2>/dev/null; then
  echo "SKIPPED: no private mount namespace can be made here"; exit 77
fi

private=$(mktemp -d)
trap 'rm -rf "$private"' EXIT

# Without root it refuses in one line on the error stream.
as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
if "${as_nobody[@]}" test -r "$demo"; then
  out=$("${as_nobody[@]}" "$demo" --no-window --no-build 2>"$private/err")
  status=$?
  err=$(cat "$private/err")
  rm "$private/err"
  [ $status -ne 0 ] || fail "ran without root"
  [ -z "$out" ] || fail "printed '$out' without root"
  [ "$(wc -l <<<"$err")" = 1 ] && grep -q "needs root" <<<"$err" || fail "without root said: $err"
else
  echo "not checked: an ordinary user cannot read $demo here"
fi

roots_before=$(ls -d /Applications /Library /Users 2>/dev/null)

out=$(TMPDIR=$private TW_BUILD_DIR=$build "$demo" --no-window --no-build 2>&1)
status=$?
echo "$out"
[ $status -eq 0 ] || fail "demo.sh ended with $status"

expect_line "$out" "Verdict in the result file: success"
for removed in "/Applications/Tallowmere 5.4.1 (3002 files)" \
  "/Library/Application Support/Nordaxis/Tallowmere/Templates/rCRS.QMX (1 file)" \
  "/Library/Application Support/Nordaxis/Tallowmere/Templates (40 files)" \
  "/Users/demo/Library/Preferences/com.nordaxis.shared.plist (1 file)" \
  "/Users/demo/Library/Application Support/Nordaxis (200 files)" \
  "/Users/demo/Documents/Nordaxis (1000 files)"; do
  expect_line "$out" "  $removed"
done
expect_line "$out" "  none of them"
[ "$(grep -c "^  stayed: " <<<"$out")" = 9 ] || fail "not all 9 things beside stayed"

# Nothing left on the machine: no folder, no mount, no new root folders.
[ -z "$(ls -A "$private")" ] || fail "left behind: $(ls -A "$private")"
! grep -q -e tw-demo -e "$private" /proc/self/mountinfo || fail "a demo mount is still there"
[ "$(ls -d /Applications /Library /Users 2>/dev/null)" = "$roots_before" ] || fail "the real root folders changed"
exit $((failures > 0))
