#!/usr/bin/env bash
# The Objective-C++ sources are compiled here against GNUstep's Foundation,
# which has methods that Apple's lacks. So every method they send is listed
# in tests/macos-declarations/foundation-methods.txt, each checked once against
# Apple's class reference (the system version it appeared in is noted there);
# a method not in the list fails this check until someone has looked it up.
# The methods are read from clang's syntax tree: class methods with their
# class, instance methods with the receiver's static type.
set -euo pipefail
cd "$(dirname "$0")/.."

list=tests/macos-declarations/foundation-methods.txt
mapfile -t sources < <(git ls-files '*.mm' 2> /dev/null || find Utilities wizard -name '*.mm')
gnustep=$(gnustep-config --variable=GNUSTEP_SYSTEM_HEADERS 2> /dev/null || echo /usr/include/GNUstep)
flags=(
  -x objective-c++ -std=c++17 -fsyntax-only -fobjc-exceptions -fobjc-runtime=gcc
  -DGNUSTEP -DGNUSTEP_BASE_LIBRARY=1 -DGNU_RUNTIME=1 -DBOOST_NO_CXX11_HDR_SYSTEM_ERROR
  -isystem tests/macos-declarations -isystem "$gnustep" -idirafter "$(g++ -print-file-name=include)"
  -IUtilities -Iwizard/job -Iwizard/running -Iwizard/pages
  # Debian's Qt headers, for the halves that take a widget.
  $(pkg-config --cflags-only-I Qt5Widgets)
  -Xclang -ast-dump -fno-color-diagnostics
)

sent=$(for source in "${sources[@]}"; do
  clang++ "${flags[@]}" "$source" || { echo "check-foundation-methods: $source does not compile" >&2; exit 1; }
done | awk '
  function receiver(line) {
    if (match(line, /\047[A-Za-z_]+ \*/)) return substr(line, RSTART + 1, RLENGTH - 3)
    if (match(line, /\047id\047/)) return "id"
    return "?"
  }
  /ObjCMessageExpr/ {
    if (waiting) { print "-[" receiver($0) " " selector "]"; waiting = 0 }
    selector = $0; sub(/.*selector=/, "", selector); sub(/ .*/, "", selector)
    if (match($0, /class=\047[A-Za-z_]+\047/)) { print "+[" substr($0, RSTART + 7, RLENGTH - 8) " " selector "]"; next }
    waiting = 1; next
  }
  waiting { print "-[" receiver($0) " " selector "]"; waiting = 0 }
' | sort -u)

known=$(sed -e 's/#.*//' -e 's/[[:space:]]*$//' "$list" | grep -v '^$' | sort -u)
unknown=$(comm -23 <(printf '%s\n' "$sent") <(printf '%s\n' "$known"))
if [ -n "$unknown" ]; then
  echo "check-foundation-methods: not yet checked against Apple's Foundation reference (add to $list once checked):" >&2
  sed 's/^/  /' <<<"$unknown" >&2
  exit 1
fi
echo "check-foundation-methods: $(wc -l <<<"$sent") methods, all in Apple's Foundation and AppKit"
