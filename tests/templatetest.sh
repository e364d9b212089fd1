#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
# The committed translation template holds exactly the translatable texts of
# the code and the forms, and every catalogue translates all of them.
#   templatetest.sh SOURCE_DIR
# A text added to the code but not to po/lumen_kcm_mic.pot would never be
# translated; run po/extract, then msgmerge each catalogue, to fix a failure.
set -euo pipefail
src="$(cd "$1" && pwd)"
template="$src/po/lumen_kcm_mic.pot"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# One line per message: context, text and plural text, as written in the
# file (escapes kept), without the header entry and obsolete ones.
messages() {
    awk '
        function text(line) { sub(/^[a-z_]+ "/, "", line); sub(/"$/, "", line); return line }
        function flush() {
            if (seen && (hasContext || id != "")) print (hasContext ? "[" context "] " : "") id (plural != "" ? " | " plural : "")
            seen = 0; hasContext = 0; context = ""; id = ""; plural = ""; field = ""
        }
        /^msgctxt / { flush(); hasContext = 1; context = text($0); field = "context"; next }
        /^msgid / { if (field != "context") flush(); seen = 1; id = text($0); field = "id"; next }
        /^msgid_plural / { plural = text($0); field = "plural"; next }
        /^msgstr/ { field = "msgstr"; next }
        /^"/ {
            part = substr($0, 2, length($0) - 2)
            if (field == "context") context = context part
            else if (field == "id") id = id part
            else if (field == "plural") plural = plural part
            next
        }
        END { flush() }
    ' "$1" | LC_ALL=C sort -u
}

status=0

"$src/po/extract" "$work" >"$work/extract.log" 2>&1 || { cat "$work/extract.log"; exit 1; }
messages "$work/lumen_kcm_mic.pot" >"$work/code"
messages "$template" >"$work/template"
if [ ! -s "$work/code" ]; then
    echo "the extraction found no texts at all"
    exit 1
fi
if ! cmp -s "$work/code" "$work/template"; then
    echo "po/lumen_kcm_mic.pot is out of date; run po/extract."
    echo "Texts of the code missing from the template:"
    LC_ALL=C comm -23 "$work/code" "$work/template" | sed 's/^/  /'
    echo "Texts of the template no longer in the code:"
    LC_ALL=C comm -13 "$work/code" "$work/template" | sed 's/^/  /'
    status=1
fi

for catalogue in "$src"/po/*/lumen_kcm_mic.po; do
    [ -e "$catalogue" ] || continue
    name="${catalogue#"$src"/}"
    messages "$catalogue" >"$work/catalogue"
    if ! cmp -s "$work/template" "$work/catalogue"; then
        echo "$name does not hold the texts of the template; msgmerge it:"
        LC_ALL=C diff "$work/template" "$work/catalogue" | grep '^[<>]' | sed 's/^/  /' || true
        status=1
    fi
    # --check also compares the placeholders of each translation with its text.
    if ! msgfmt --check --statistics -o /dev/null "$catalogue" 2>"$work/statistics"; then
        echo "$name does not compile:"
        cat "$work/statistics"
        status=1
    elif grep -Eq 'untranslated|fuzzy' "$work/statistics"; then
        echo "$name is not complete: $(cat "$work/statistics")"
        status=1
    fi
done

exit "$status"
