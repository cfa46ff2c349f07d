#!/usr/bin/env bash
# Runs one Windows program under wine64 in the project's prefix (ctest's emulator).
source "$(dirname "$0")/wine-env.sh"
exec "$WINE64" "$@"
