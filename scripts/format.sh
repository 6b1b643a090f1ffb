#!/usr/bin/env bash
# Formats every C++ file under src/, tests/, bench/ and fuzz/ with .clang-format.
#   scripts/format.sh           rewrite the files in place
#   scripts/format.sh --check   change nothing; fail listing what is not formatted
# CLANG_FORMAT chooses the binary (default: clang-format; the layout is that of
# Debian 12's clang-format 14, other versions may differ in details).
set -euo pipefail
cd "$(dirname "$0")/.."

CLANG_FORMAT="${CLANG_FORMAT:-clang-format}"
mode=fix
case "${1:-}" in
  "") ;;
  --check) mode=check ;;
  *)
    echo "usage: $0 [--check]" >&2
    exit 2
    ;;
esac

if ! command -v "$CLANG_FORMAT" >/dev/null 2>&1; then
  echo "$0: $CLANG_FORMAT not found (Debian: apt-get install clang-format)" >&2
  exit 2
fi
# A style file the binary cannot read would leave every file "formatted".
"$CLANG_FORMAT" --style=file --dump-config >/dev/null

files=()
while IFS= read -r -d '' f; do files+=("$f"); done < <(
  find src tests bench fuzz -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.cc' -o -name '*.hpp' \) \
    -not -path 'tests/data/*' -print0 | sort -z)
if [ "${#files[@]}" -eq 0 ]; then
  echo "$0: no C++ files found" >&2
  exit 2
fi

if [ "$mode" = check ]; then
  if ! printf '%s\0' "${files[@]}" |
    xargs -0 -n 64 "$CLANG_FORMAT" --style=file --dry-run -Werror; then
    echo "clang-format: the files above need formatting (scripts/format.sh)" >&2
    exit 1
  fi
  echo "clang-format: ${#files[@]} files formatted"
else
  printf '%s\0' "${files[@]}" | xargs -0 -n 64 "$CLANG_FORMAT" --style=file -i
  echo "clang-format: ${#files[@]} files"
fi
