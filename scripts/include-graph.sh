#!/bin/sh
# Prints which code folder includes which ("from -> to  count"), from the
# #include lines of the installer's sources (tests, stand-ins and languages
# left out). The layers allow only downward edges: see cmake/Layers.cmake.
cd "$(dirname "$0")/.." || exit 1
git ls-files 'app/*' 'diag/*' 'framework/*' 'install/*' 'state/*' 'ui/*' 'unpack/*' 'decoder/*' |
  grep -E '\.(c|cpp|h)$' |
  while read -r file; do
    from=${file%%/*}
    sed -n 's/^#include "\([a-z]*\)\/.*/\1/p' "$file" | while read -r to; do
      [ "$to" != "$from" ] && echo "$from -> $to"
    done
  done | sort | uniq -c | awk '{ printf "%-10s -> %-10s %3d\n", $2, $4, $1 }'
