#!/bin/sh
# Installs what is missing, builds, and runs the whole test suite.
set -e
here="$(cd "$(dirname "$0")/.." && pwd)"
sh "$here/scripts/build.sh"
cd "$here/build"
export GSK_RENDERER=cairo GSETTINGS_BACKEND=memory
exec xvfb-run -a ctest --output-on-failure -j "$(nproc)" --timeout 600
