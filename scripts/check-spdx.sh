#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source file of the tree (C++, scripts, CMake) names its licence in an SPDX line within
# its first three lines. Prints the files that do not; exits 1 when there are any.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
missing=0
while IFS= read -r -d '' file; do
  if ! head -n 3 "$file" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later'; then
    echo "no SPDX line: $file"
    missing=1
  fi
done < <(
  find src tests bench fuzz scripts packaging .ci -type f \( -name '*.cpp' -o -name '*.h' \
    -o -name '*.sh' -o -name '*.cmake' -o -name '*.awk' -o -name run \) -print0
  printf '%s\0' CMakeLists.txt
)
if [ "$missing" -eq 0 ]; then echo "every source file names its licence"; fi
exit "$missing"
