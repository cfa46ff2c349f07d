#!/usr/bin/env bash
# makensis as CPack runs it, with its whole report kept in makensis.log beside the script it
# builds, so that the tests can show it gave no warning.
log=/dev/null
for arg in "$@"; do
  case $arg in *.nsi) log="$(dirname "$arg")/makensis.log" ;; esac
done
makensis "$@" 2>&1 | tee "$log"
exit "${PIPESTATUS[0]}"
