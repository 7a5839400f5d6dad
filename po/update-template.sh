#!/usr/bin/env bash
# Regenerates po/default.pot: the wizard's message texts (the literals passed
# to gettext in setup/, and those of named constants marked with
# gettext_noop; with plural forms, the pairs passed to ngettext or marked with
# ngettext_noop) extracted by xgettext, followed by the runtime
# libraries' texts (every *Texts.def) and the texts of steps still to be written (pending.pot),
# then merges the template into every translation.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mapfile -t sources < <(find setup -name '*.cpp' -o -name '*.h' 2>/dev/null | sort)
if [ ${#sources[@]} -gt 0 ]; then
    xgettext --language=C++ --from-code=UTF-8 --keyword= --keyword=gettext --keyword=translator::gettext \
        --keyword=gettext_noop --keyword=translator::gettext_noop \
        --keyword=ngettext:1,2 --keyword=translator::ngettext:1,2 \
        --keyword=ngettext_noop:1,2 --keyword=translator::ngettext_noop:1,2 \
        --add-comments=TRANSLATORS --sort-by-file --package-name=Setup \
        -o "$work/wizard.pot" "${sources[@]}"
fi
# Every library's runtime texts: runtime/RuntimeTexts.def first, then the
# others (http/NetTexts.def, archive/..., tools/...) in path order.
mapfile -t defs < <(find runtime http archive translation tools -name '*Texts.def' 2>/dev/null |
                    sort | awk '$0 == "runtime/RuntimeTexts.def" { print; next } { rest[++n] = $0 }
                                END { for (i = 1; i <= n; ++i) print rest[i] }')
cmake "-DINPUT=$(IFS=';'; echo "${defs[*]}")" -DOUTPUT="$work/runtime.pot" -P po/RuntimeTextsPot.cmake

if [ ! -s "$work/wizard.pot" ]; then
    echo "update-template: no gettext texts found in setup/; the template is left as it is" >&2
    exit 1
fi
msgcat --use-first "$work/wizard.pot" "$work/runtime.pot" po/pending.pot -o po/default.pot
for po in po/*.po; do
    msgmerge --quiet --update --backup=none --no-fuzzy-matching "$po" po/default.pot
done
