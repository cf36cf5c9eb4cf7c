#!/usr/bin/env bash
# Checks the sources against .clang-format and .clang-tidy.
#   BUILD_DIR  a configured build folder with compile_commands.json (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
cd "$root"

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror "${sources[@]}"
echo "clang-format: clean"

# The Windows files compile only in the Windows build (scripts/test-windows.sh).
mapfile -t units < <(git ls-files 'src/*.cpp' 'tools/*.cpp' ':!:*_windows.cpp')
run-clang-tidy -p "$build" -quiet "${units[@]}" >"$build/clang-tidy.log" 2>&1 || {
  grep -E 'warning:|error:' "$build/clang-tidy.log" | sort -u | head -50
  echo "clang-tidy: findings above (full log: $build/clang-tidy.log)" >&2
  exit 1
}
echo "clang-tidy: clean"
