#!/usr/bin/env bash
# Fails when a C++ or Objective-C++ source differs from the checked-in
# .clang-format, and names the command that fixes it.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.mm')
differing=()
for file in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
    differing+=("$file")
  fi
done
if [ ${#differing[@]} -ne 0 ]; then
  echo "check-format: ${#differing[@]} file(s) differ from .clang-format:" >&2
  printf '  %s\n' "${differing[@]}" >&2
  echo "Fix with: clang-format -i ${differing[*]}" >&2
  exit 1
fi
echo "check-format: ok (${#files[@]} files)"
