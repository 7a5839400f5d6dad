#!/usr/bin/env bash
# scripts/fuzz.sh NAME [SECONDS]: builds the libFuzzer target NAME and runs it
# on its corpus in tests/fuzz/NAME/corpus (new inputs are added there).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
name=$1 seconds=${2:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "fuzz_$name" -j"$(nproc)"
mkdir -p "tests/fuzz/$name/corpus" "build/fuzz/artifacts/$name"
exec "build/fuzz/tests/fuzz/$name/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="build/fuzz/artifacts/$name/" "tests/fuzz/$name/corpus"
