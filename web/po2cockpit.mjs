// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
//
// A gettext catalogue (.po) as the web console's translation file: a call
// of cockpit.locale() with {msgid: [msgid_plural or null, msgstr...]},
// contexts as "context\u0004msgid", and the plural rule as a function.

// A quoted string of a .po file, with its C escapes.
function unquote(quoted) {
    const text = quoted.slice(1, -1);
    const simple = { n: "\n", t: "\t", r: "\r", a: "\x07", b: "\b", f: "\f", v: "\v", "\\": "\\", '"': '"', "'": "'", "?": "?" };
    let result = "";
    for (let i = 0; i < text.length; i++) {
        if (text[i] !== "\\" || i + 1 >= text.length) {
            result += text[i];
            continue;
        }
        const next = text[++i];
        if (next in simple) {
            result += simple[next];
        } else if (next === "x") {
            const hex = text.slice(i + 1).match(/^[0-9a-fA-F]{1,2}/)[0];
            result += String.fromCharCode(parseInt(hex, 16));
            i += hex.length;
        } else if (/[0-7]/.test(next)) {
            const octal = text.slice(i).match(/^[0-7]{1,3}/)[0];
            result += String.fromCharCode(parseInt(octal, 8));
            i += octal.length - 1;
        } else {
            result += next;
        }
    }
    return result;
}

function entries(po) {
    const result = [];
    let entry = null;
    let field = null;
    const finish = () => {
        if (entry && entry.msgid !== undefined && !entry.fuzzy && !entry.obsolete)
            result.push(entry);
    };
    for (const raw of po.split("\n")) {
        const line = raw.trim();
        if (line === "" ) {
            finish();
            entry = null;
            field = null;
            continue;
        }
        entry = entry || { msgstr: [] };
        if (line.startsWith("#~")) {
            entry.obsolete = true;
            continue;
        }
        if (line.startsWith("#,")) {
            entry.fuzzy = line.includes("fuzzy");
            continue;
        }
        if (line.startsWith("#"))
            continue;
        const match = line.match(/^(msgctxt|msgid_plural|msgid|msgstr(?:\[(\d+)\])?)\s+(".*")$/);
        if (match) {
            field = match[1].startsWith("msgstr") ? ["msgstr", match[2] ? Number(match[2]) : 0] : [match[1]];
            const text = unquote(match[3]);
            if (field[0] === "msgstr")
                entry.msgstr[field[1]] = text;
            else
                entry[field[0]] = text;
        } else if (line.startsWith('"') && field) {
            const text = unquote(line);
            if (field[0] === "msgstr")
                entry.msgstr[field[1]] += text;
            else
                entry[field[0]] += text;
        }
    }
    finish();
    return result;
}

export function poToCockpit(po, language) {
    const all = entries(po);
    const header = all.find(entry => entry.msgid === "");
    const pluralForms = (header?.msgstr[0] || "").match(/Plural-Forms:\s*nplurals=(\d+);\s*plural=([^;\n]+);?/);
    const messages = {};
    for (const entry of all) {
        if (entry.msgid === "" || entry.msgstr.every(text => !text))
            continue;
        const key = entry.msgctxt !== undefined ? `${entry.msgctxt}\u0004${entry.msgid}` : entry.msgid;
        messages[key] = [entry.msgid_plural ?? null, ...entry.msgstr];
    }
    // The rule becomes code of the page: only what a plural rule is made of.
    const plural = pluralForms ? pluralForms[2].trim() : "(n != 1)";
    if (!/^[n0-9\s()?:<>=!&|%+*/-]*$/.test(plural) || (pluralForms && !/^[0-9]+$/.test(pluralForms[1])))
        throw new Error(`not a plural rule: ${plural}`);
    const head = `"": {"plural-forms": function(n) { var nplurals, plural; nplurals = ${pluralForms ? pluralForms[1] : 2}; plural = ${plural}; return plural; }, "language": ${JSON.stringify(language)}, "language-direction": "ltr"}`;
    const body = Object.entries(messages).map(([key, value]) => `${JSON.stringify(key)}: ${JSON.stringify(value)}`);
    return `cockpit.locale({\n${[head, ...body].join(",\n")}\n});\n`;
}
