#!/usr/bin/env bash
# Checks that a built pictra.vxm needs nothing from the system but the C
# library's string and memory functions, exports exactly its seven entry
# points and carries its version text.
#   scripts/check-module-imports.sh MODULE [NM] [READELF]
set -euo pipefail
module=${1:?usage: check-module-imports.sh MODULE [NM] [READELF]}
nm=${2:-nm}
readelf=${3:-readelf}
[ -f "$module" ] || { echo "check-module-imports: $module: no such file" >&2; exit 1; }

# Strong imports the module may have: string and memory functions only.
# Clang turns a memcmp whose result is only tested for 0 into bcmp.
allowed_strong=" memcpy memmove memset memcmp bcmp memchr strlen strnlen strcmp strncmp strchr strrchr strcpy strncpy strcat strncat strstr "
# Weak references that the C runtime's start files (crtbeginS.o, crti.o)
# put into every shared object; unresolved they are simply null, so they
# bring in nothing. Anything else must be a strong, allowed import.
allowed_weak=" __gmon_start__ _ITM_deregisterTMCloneTable _ITM_registerTMCloneTable __cxa_finalize "
exports="ClosePlugin FreeIcon GetIconImages InitPlugin LoadIcon RegisterIconSaver SaveIcon"
version_text='$VER: pictra.vxm 1.0 (22.01.22) [Linux]'

status=0
fail() { echo "check-module-imports: $module: $*" >&2; status=1; }

while read -r kind name; do
  name=${name%%@*}
  case "$kind" in
    w|v) [[ "$allowed_weak" == *" $name "* ]] || fail "unexpected weak import $name" ;;
    U)   [[ "$allowed_strong" == *" $name "* ]] || fail "imports $name" ;;
    *)   fail "unexpected undefined symbol kind $kind for $name" ;;
  esac
done < <("$nm" -D --undefined-only "$module" | awk '{print $(NF-1), $NF}')

needed=$("$readelf" -d "$module" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
for lib in $needed; do
  [ "$lib" = "libc.so.6" ] || fail "needs $lib"
done

defined=$("$nm" -D --defined-only "$module" | awk '{print $NF}' | sed 's/@.*//' | sort | tr '\n' ' ')
[ "${defined% }" = "$exports" ] || fail "exports '${defined% }', expected '$exports'"

grep -qaF "$version_text" "$module" || fail "version text missing"

if [ "$status" -eq 0 ]; then
  echo "check-module-imports: $module: ok"
fi
exit "$status"
