#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The house rules every source file keeps, checked over the whole tree:
#   - its licence, an SPDX-License-Identifier: MIT line among its first lines
#     (C and C++ sources, CMake files, scripts, manual pages, completion);
#   - the repository's .clang-format, for every C and C++ file.
# Lists each file that breaks one; the status is 1 when there is any.
#   scripts/check_sources.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# Tracked files in a clone, every file in an unpacked tree; fuzz inputs and
# build folders are no source.
source_files() {
  if git rev-parse --is-inside-work-tree > /dev/null 2>&1; then
    git ls-files
  else
    find . -path ./.git -prune -o -path './build*' -prune -o -type f -print | sed 's:^\./::'
  fi | grep -Ev '^fuzz/(corpus|regressions)/'
}

files=$(source_files)
faults=0
while read -r file; do
  head -n 3 "$file" | grep -q 'SPDX-License-Identifier: MIT' && continue
  echo "check_sources: $file: no SPDX-License-Identifier: MIT in its first lines"
  faults=1
done < <(grep -E '\.(c|cpp|h|sh|py|cmake|in|1|bash)$|(^|/)CMakeLists\.txt$' <<< "$files")

mapfile -t code < <(grep -E '\.(c|cpp|h)$' <<< "$files")
if ! clang-format --dry-run -Werror "${code[@]}" > /dev/null 2>&1; then
  for file in "${code[@]}"; do
    clang-format --dry-run -Werror "$file" > /dev/null 2>&1 ||
      echo "check_sources: $file: not as .clang-format lays it out (clang-format -i $file)"
  done
  faults=1
fi
exit "$faults"
