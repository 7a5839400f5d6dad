# Shell helpers shared by the decoder benchmarks (bench/*/run.sh source this).

best() { # the smaller of two numbers, the first may be empty
    if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc)" = 1 ]; then echo "$2"; else echo "$1"; fi
}
most() { # the larger of two integers, the first may be empty
    if [ -z "$1" ] || [ "$2" -gt "$1" ]; then echo "$2"; else echo "$1"; fi
}
timed() { # command...: runs it, output discarded; sets wall and cpu (s) and rss (peak, KiB)
    /usr/bin/time -f "%e %U %S %M" -o time.txt "$@" > /dev/null 2>&1
    read -r wall user sys rss < time.txt
    cpu=$(echo "$user + $sys" | bc)
    rm -f time.txt
}
make_corpus() { # FILE SIZE_MB TEXT_BYTES: text from /usr/include and /usr/share/doc
    # (the first TEXT_BYTES), then shared libraries, SIZE_MB in all; made once
    [ -f "$1" ] && return 0
    { find /usr/include /usr/share/doc -type f | sort | xargs cat 2>/dev/null | head -c "$3"
      find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -name 'lib*.so*' | sort | xargs cat 2>/dev/null
    } | head -c $(($2 * 1000000)) > "$1" || true
}
