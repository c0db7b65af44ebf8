#!/usr/bin/env bash
# Fails when a tracked C++ file is not as clang-format (the root's .clang-format) lays it out.
# Usage: scripts/check_format.sh   (to fix: clang-format -i FILE...)
set -euo pipefail
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
else
  mapfile -d '' files < <(find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print0)
fi
# One run over every file; each misplaced line is reported as "FILE:LINE:COLUMN: error: ...".
if report=$(clang-format --dry-run -Werror "${files[@]}" 2>&1); then
  echo "check_format: ${#files[@]} files formatted"
  exit 0
fi
echo "check_format: not formatted (clang-format -i them):" >&2
grep -o '^[^:]*:[0-9]*:[0-9]*: error' <<<"$report" | cut -d: -f1 | sort -u | sed 's/^/  /' >&2 ||
  echo "$report" >&2
exit 1
