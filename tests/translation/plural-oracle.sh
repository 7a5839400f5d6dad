#!/usr/bin/env bash
# plural-oracle.sh RULES OUT: for each rule of RULES (code, then a
# "Plural-Forms" value), GNU msgfmt makes OUT/locale/CODE/LC_MESSAGES/default.mo
# holding one message whose forms are "form0", "form1", ..., and GNU's
# ngettext program translates it for every count from 0 to 1000 into
# OUT/CODE.choices, one line per count. OUT/rules lists the codes done. A
# language whose outputs are newer than RULES and this script is not run
# again: 1001 processes per language take a while.
set -euo pipefail
rules=$1 out=$2
mkdir -p "$out"
# Build trees share the folder: one run at a time.
exec 9>"$out/.lock"
flock 9
command -v msgfmt >/dev/null && command -v ngettext >/dev/null ||
    { echo "plural-oracle: msgfmt and ngettext (Debian packages gettext, gettext-base) are needed" >&2; exit 1; }

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
    for ((n = 0; n <= 1000; ++n)); do
        LC_ALL=C.UTF-8 LANGUAGE=$code TEXTDOMAINDIR=$out/locale ngettext -d default "een bestand" bestanden $n
        echo
    done >"$choices.new"
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
