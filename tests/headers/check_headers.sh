#!/usr/bin/env bash
# The public header must serve every C dialect a caller may use, and C++
# callers that forbid C casts: compile it as C89, C99 and C11 with -pedantic,
# and as C++ with -Wold-style-cast, all warnings as errors.
set -euo pipefail
include_dir=$1 cc=$2 cxx=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '#include <qvcore5/qvcore.h>\nint main(void) { return 0; }\n' > "$work/h.c"
cp "$work/h.c" "$work/h.cpp"
for std in c89 c99 c11; do
  "$cc" -std=$std -pedantic -Wall -Wextra -Werror -I"$include_dir" -c "$work/h.c" -o "$work/h.o"
done
for std in c++11 c++20; do
  "$cxx" -std=$std -pedantic -Wall -Wextra -Wold-style-cast -Werror -I"$include_dir" -c "$work/h.cpp" -o "$work/h.o"
done
echo "public header: C89, C99, C11, C++11, C++20 clean"
