#!/bin/sh
# Writes the fixtures made by real archivers (Info-ZIP zip 3.0 and 7-Zip) from
# generated source files. The archives hold the time of the run, so running
# this again changes their bytes but not their content; the tests compare the
# extracted bytes with the files under src/.
set -e
cd "$(dirname "$0")"
rm -rf src && mkdir -p src/sub
python3 - <<'PY'
import random
r = random.Random(5)
open("src/hello.txt", "w").write("Hello, archive!\n")
open("src/data.bin", "wb").write(bytes(r.randrange(256) for _ in range(3000)))
words = ["order", "shop", "install", "folder", "archive", "window", "table", "delta", "kilo", "lima"]
open("src/text.txt", "w").write("".join(" ".join(r.choice(words) for _ in range(12)) + "\n" for _ in range(1500)))
open("src/sub/nested.txt", "w").write("nested file\n")
open("src/ro.txt", "w").write("read-only file\n")
open("src/big.bin", "wb").write(bytes(r.randrange(256) for _ in range(150000)))
open("src/na\u00efve \u20ac.txt", "w").write("unicode name\n")
PY
chmod 444 src/ro.txt
rm -f stored.zip deflate.zip descriptor.zip descriptor-deflate.zip encrypted-stored.zip encrypted.zip \
      encrypted-descriptor.zip dos.zip comment.zip zip64.zip split.z01 split.z02 split.zip deflate64.zip utf8.zip
cd src
zip -q -0 -r ../stored.zip hello.txt data.bin sub ro.txt
zip -q -9 -r ../deflate.zip hello.txt data.bin text.txt sub ro.txt
zip -q -0 - hello.txt data.bin > ../descriptor.zip
zip -q - hello.txt text.txt > ../descriptor-deflate.zip
zip -q -0 -P secret ../encrypted-stored.zip hello.txt data.bin
zip -q -P secret ../encrypted.zip hello.txt text.txt
zip -q -0 -P secret - hello.txt > ../encrypted-descriptor.zip
zip -q -0 -k ../dos.zip hello.txt ro.txt
echo "An archive comment" | zip -q -0 -z ../comment.zip hello.txt
zip -q -0 -fz ../zip64.zip hello.txt data.bin
zip -q -0 -s 64k ../split.zip big.bin hello.txt
7zz a -bd -bso0 -tzip -mm=Deflate64 ../deflate64.zip hello.txt data.bin text.txt
7zz a -bd -bso0 -tzip -mcu=on ../utf8.zip "naïve €.txt" hello.txt
