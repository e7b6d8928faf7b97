#!/usr/bin/env bash
# run.sh FUZZER SEEDS CRASHES [libFuzzer options...]
# Runs a fuzz target over a scratch copy of its seed corpus, so that the
# inputs it finds never land in the repository, and removes the copy
# afterwards.  A crash, leak or time-out input goes to the directory
# CRASHES, and its path is printed.
set -euo pipefail
fuzzer=$1 seeds=$2 crashes=$3
shift 3
scratch=$(mktemp -d "${TMPDIR:-/tmp}/pelo-fuzz-corpus.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$crashes" "$scratch/corpus"
cp -- "$seeds"/* "$scratch/corpus/"
touch "$scratch/started"
status=0
"$fuzzer" -artifact_prefix="$crashes/" "$@" "$scratch/corpus" || status=$?
found=$(find "$crashes" -type f -newer "$scratch/started")
if [ -n "$found" ]; then
  printf '==> input that failed: %s\n' $found
  printf '==> keep it as a regression input: cp INPUT %s/\n' "$seeds"
fi
exit "$status"
