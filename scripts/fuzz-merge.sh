#!/usr/bin/env bash
# scripts/fuzz-merge.sh NAME: shrinks tests/fuzz/NAME/corpus to the inputs
# that keep its coverage (libFuzzer's -merge), after a long run has grown it.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
name=$1
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "fuzz_$name" -j"$(nproc)"
corpus=tests/fuzz/$name/corpus
merged=$(mktemp -d)
trap 'rm -rf "$merged"' EXIT
"build/fuzz/tests/fuzz/$name/fuzz_$name" -merge=1 -rss_limit_mb=2048 -timeout=10 "$merged" "$corpus"
before=$(ls "$corpus" | wc -l)
rm -f "$corpus"/*
cp "$merged"/* "$corpus"/
echo "$name: corpus $before -> $(ls "$corpus" | wc -l) files"
