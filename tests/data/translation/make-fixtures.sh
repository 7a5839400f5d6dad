#!/usr/bin/env bash
# Regenerates the committed MO fixtures of the translation tests from their
# PO sources with GNU msgfmt.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
msgfmt --check -o sample.mo sample.po
msgfmt --check --endianness=big -o sample-be.mo sample.po
msgfmt -o latin1.mo latin1.po
