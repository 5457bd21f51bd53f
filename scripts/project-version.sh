#!/bin/sh
# Prints the version of project() in CMakeLists.txt (major.minor.patch), the
# version of every package; fails with a line on stderr when there is none.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(zamopocket VERSION \([0-9][0-9]*\.[0-9][0-9]*\.[0-9][0-9]*\)[ )].*/\1/p' \
  "$top/CMakeLists.txt")
if [ -z "$version" ]; then
  echo "no VERSION major.minor.patch in project(zamopocket ...) of CMakeLists.txt" >&2
  exit 1
fi
echo "$version"
