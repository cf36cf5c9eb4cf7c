#!/usr/bin/env bash
# Checks that Windows 7 SP1 can load each program given: every function it
# imports must be one that Windows 7 SP1 exports, by the export list kept in
# packaging/windows/windows7-sp1-exports.txt ("dll<TAB>function" a line, from
# a 32-bit Windows 7 SP1; a DLL marked "NOT FOUND" does not exist there).
# The exports that only 64-bit Windows has, which its header names, count
# for 64-bit programs only. A function looked up at run time (GetProcAddress)
# is not an import and is not checked: that is how the program reaches what
# later Windows added.
#
# Prints one line per program (its machine, size, and how many functions it
# imports from how many DLLs) and one line per import that Windows 7 SP1
# would refuse, naming the program, the DLL and the function. Exit status 1
# when any import is refused or a program cannot be read.
#
# Usage: packaging/windows/check-imports.sh PROGRAM.exe...
#   EXPORT_LIST   the list (default: packaging/windows/windows7-sp1-exports.txt)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
list=${EXPORT_LIST:-$root/packaging/windows/windows7-sp1-exports.txt}
if [ "$#" -eq 0 ]; then
  echo "usage: $0 PROGRAM.exe..." >&2
  exit 2
fi
[ -f "$list" ] || { echo "no export list at $list" >&2; exit 1; }

# The 64-bit-only exports as the list's header names them; each must still
# be named there, so this line and the header cannot drift apart.
only64="kernel32.dll:RtlLookupFunctionEntry kernel32.dll:RtlUnwindEx kernel32.dll:RtlVirtualUnwind"
only64+=" kernel32.dll:__C_specific_handler kernel32.dll:RtlAddFunctionTable kernel32.dll:RtlDeleteFunctionTable"
only64+=" user32.dll:GetWindowLongPtrW user32.dll:GetWindowLongPtrA user32.dll:SetWindowLongPtrW"
only64+=" user32.dll:SetWindowLongPtrA user32.dll:GetClassLongPtrW user32.dll:GetClassLongPtrA"
only64+=" user32.dll:SetClassLongPtrW user32.dll:SetClassLongPtrA"
header=$(sed -n '/^#/p' "$list")
for entry in $only64; do
  name=${entry#*:}
  # GetWindowLongPtrW/A names both in the header.
  grep -qE "(^|[ ,])${name}([ ,(]|$)|(^|[ ,])${name%?}W/A" <<<"$header" || {
    echo "$list: its header no longer names $name as 64-bit only" >&2
    exit 1
  }
done

failed=0
for program in "$@"; do
  name=$(basename "$program")
  # The machine decides which objdump reads it best, and which list holds.
  format=$(x86_64-w64-mingw32-objdump -f "$program" 2>/dev/null | sed -n 's/.*file format //p' | head -1)
  case "$format" in
    pei-x86-64) bits=64 objdump=x86_64-w64-mingw32-objdump ;;
    pei-i386) bits=32 objdump=i686-w64-mingw32-objdump ;;
    *)
      echo "$name: not a Windows program ($program: ${format:-unreadable})"
      failed=1
      continue
      ;;
  esac
  command -v "$objdump" >/dev/null || objdump=x86_64-w64-mingw32-objdump
  status=0
  "$objdump" -p "$program" | tr -d '\r' | awk -v list="$list" -v name="$name" -v bits="$bits" \
    -v only64="$only64" -v size="$(stat -c %s "$program")" '
    BEGIN {
      FS = "\t"
      while ((getline line < list) > 0) {
        if (line ~ /^#/ || line == "") continue
        split(line, f, "\t")
        if (f[2] == "NOT FOUND") absent[f[1]] = 1
        else { exported[f[1] "\t" f[2]] = 1; known[f[1]] = 1 }
      }
      if (bits == 64) {
        n = split(only64, extra, " ")
        for (i = 1; i <= n; i++) { split(extra[i], p, ":"); exported[p[1] "\t" p[2]] = 1; known[p[1]] = 1 }
      }
      FS = " "
    }
    # The import tables: "DLL Name: X", then one line per function
    # (address, hint, name), up to a blank line.
    /^[ \t]*DLL Name: / { dll = tolower($3); dlls[dll] = 1; in_dll = 1; next }
    in_dll && /^[ \t]*vma:/ { next }
    in_dll && NF == 0 { in_dll = 0; next }
    in_dll && NF >= 3 {
      function_name = $3
      imports++
      if (function_name == "<none>") {
        why = "imported by ordinal " $2 ", which no list can vouch for"
      } else if (dll in absent) {
        why = "not on Windows 7 SP1 (the DLL does not exist there)"
      } else if (!(dll in known)) {
        why = "not in the list of Windows 7 SP1 DLLs"
      } else if (!((dll "\t" function_name) in exported)) {
        why = "not exported by Windows 7 SP1 (" bits "-bit)"
      } else {
        next
      }
      printf "%s: %s %s: %s\n", name, dll, function_name, why
      bad++
    }
    END {
      n_dlls = 0
      for (d in dlls) n_dlls++
      printf "%s: %d-bit, %d bytes, %d functions from %d DLLs%s\n", name, bits, size, imports, n_dlls,
        bad ? ", " bad " refused by Windows 7 SP1" : ", all exported by Windows 7 SP1"
      if (bad || imports == 0) exit 1
    }' || status=1
  [ "$status" -eq 0 ] || failed=1
done
exit "$failed"
