#!/usr/bin/env bash
# plural-oracle.sh RULES OUT: for each rule of RULES (code, then a
# "Plural-Forms" value), GNU msgfmt makes OUT/locale/CODE/LC_MESSAGES/default.mo
# holding one message whose forms are "form0", "form1", ..., and GNU gettext
# translates it for every count from 0 to 1000 into OUT/CODE.choices, one
# line per count. OUT/rules lists the codes done. A language whose outputs
# are newer than RULES and this script is not run again.
#
# The ngettext program of Debian's gettext-base takes one count per run and
# answers with the C library's dngettext (GNU libintl is part of glibc). A
# thousand runs per rule kept a whole core busy for over a minute, so the
# counts are asked of dngettext in one process of our own (gnu-ngettext,
# compiled here: the same call, in the same environment), and the program
# itself is asked a sample of counts, which must agree line for line.
set -euo pipefail
rules=$1 out=$2
mkdir -p "$out"
# Build trees share the folder: one run at a time.
exec 9>"$out/.lock"
flock 9
command -v msgfmt >/dev/null && command -v ngettext >/dev/null ||
    { echo "plural-oracle: msgfmt and ngettext (Debian packages gettext, gettext-base) are needed" >&2; exit 1; }

# gnu-ngettext DOMAIN DIR MSGID PLURAL FIRST LAST: one translation per count.
helper=$out/gnu-ngettext
if [ ! -x "$helper" ] || [ "$helper" -ot "$0" ]; then
    "${CXX:-g++}" -O1 -x c++ -o "$helper.new" - <<'SOURCE'
#include <libintl.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
int main(int argc, char** argv) {
    if (argc != 7) return 2;
    setlocale(LC_ALL, "");
    bindtextdomain(argv[1], argv[2]);
    const unsigned long first = strtoul(argv[5], nullptr, 10), last = strtoul(argv[6], nullptr, 10);
    for (unsigned long n = first; n <= last; ++n)
        printf("%s\n", dngettext(argv[1], argv[3], argv[4], n));
    return ferror(stdout) ? 1 : 0;
}
SOURCE
    mv "$helper.new" "$helper"
fi

oracle() {
    local code=$1 value=$2
    local dir=$out/locale/$code/LC_MESSAGES choices=$out/$code.choices
    if [ "$choices" -nt "$rules" ] && [ "$choices" -nt "$0" ]; then return 0; fi
    local count=${value#*nplurals=}
    count=${count%%;*}
    mkdir -p "$dir"
    {
        printf 'msgid ""\nmsgstr ""\n"Content-Type: text/plain; charset=UTF-8\\n"\n'
        printf '"Plural-Forms: %s\\n"\n\n' "$value"
        printf 'msgid "een bestand"\nmsgid_plural "bestanden"\n'
        for ((i = 0; i < count; ++i)); do printf 'msgstr[%d] "form%d"\n' "$i" "$i"; done
    } >"$out/$code.po"
    msgfmt -o "$dir/default.mo" "$out/$code.po"
    # GNU gettext translates nothing in the C locale; C.UTF-8 lets LANGUAGE choose.
    LC_ALL=C.UTF-8 LANGUAGE=$code "$helper" default "$out/locale" "een bestand" bestanden 0 1000 \
        >"$choices.new"
    # The program's own answers for a sample: the first counts, those where
    # the rules of the hundreds turn, and the last.
    local n program line
    for n in $(seq 0 25) $(seq 100 115) 200 211 999 1000; do
        program=$(LC_ALL=C.UTF-8 LANGUAGE=$code TEXTDOMAINDIR=$out/locale \
            ngettext -d default "een bestand" bestanden "$n")
        line=$(sed -n "$((n + 1))p" "$choices.new")
        if [ "$program" != "$line" ]; then
            echo "plural-oracle: $code, n=$n: the ngettext program says '$program', dngettext '$line'" >&2
            return 1
        fi
    done
    mv "$choices.new" "$choices"
}

codes=()
while IFS=$'\t' read -r code value; do
    case $code in '' | '#'*) continue ;; esac
    oracle "$code" "$value" &
    codes+=("$code")
done <"$rules"
for job in $(jobs -p); do wait "$job"; done
printf '%s\n' "${codes[@]}" >"$out/rules"
