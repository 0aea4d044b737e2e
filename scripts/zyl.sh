#!/bin/sh
# Installs what is missing, builds, and starts zyl with the given arguments.
set -e
here="$(cd "$(dirname "$0")/.." && pwd)"
sh "$here/scripts/build.sh" >&2
exec "$here/build/zyl" "$@"
