#!/usr/bin/env bash
# bench/inflate/make-corpus.sh [OUT.zip]: a tar of /usr/include, /usr/share/doc
# and about 100 MB of shared libraries from /usr/lib/x86_64-linux-gnu,
# compressed with zip -9 (default build/bench/inflate-corpus.zip); beside it,
# inflate-many.zip holds /usr/include as one entry per file (zip -9 -r), where
# the cost of starting each stream shows. Never commit them.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
out=${1:-build/bench/inflate-corpus.zip}
mkdir -p "$(dirname "$out")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -name '*.so*' -size -8M -printf '%s %p\n' | sort -k2 |
    awk '{ total += $1; if (total > 100000000) exit; print $2 }' > "$work/libs.txt"
tar -cf "$work/corpus.tar" /usr/include /usr/share/doc -T "$work/libs.txt" 2>/dev/null || true
rm -f "$out"
(cd "$work" && zip -q -9 corpus.zip corpus.tar)
mv "$work/corpus.zip" "$out"
many="$(dirname "$out")/inflate-many.zip"
rm -f "$many"
zip -q -9 -r "$many" /usr/include
ls -l "$out" "$many"
