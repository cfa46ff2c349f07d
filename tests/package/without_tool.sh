#!/usr/bin/env bash
# Runs a command with one tool taken off PATH, to show that a check fails without it.
#   without_tool.sh TOOL COMMAND [ARGS...]
set -euo pipefail
tool=$1; shift
bin=$(mktemp -d)
trap 'rm -rf "$bin"' EXIT
IFS=: read -ra dirs <<<"$PATH"
for dir in "${dirs[@]}"; do
  for f in "$dir"/*; do
    name=${f##*/}
    [ "$name" != "$tool" ] && [ -x "$f" ] && [ ! -e "$bin/$name" ] && ln -s "$f" "$bin/$name"
  done
done
PATH=$bin "$@"
