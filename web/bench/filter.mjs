// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
//
// The rules table's filter at a million rules: each keystroke of a typed
// filter, against a bare loop over the same paths.
import { filtered } from "../src/filterpaths.mjs";

const count = Number(process.argv[2] || 1000000);
const paths = [];
for (let i = 0; i < count; i++)
    paths.push(`/srv/data/d${String(i % 1000).padStart(3, "0")}/f${String(i).padStart(7, "0")}.dat`);
paths.sort();

function bare(filter) {
    let n = 0;
    for (let i = 0; i < paths.length; i++)
        if (paths[i].indexOf(filter) !== -1)
            n++;
    return n;
}

const typed = "d042/f00420";
let worst = 0;
let worstBare = 0;
for (let length = 1; length <= typed.length; length++) {
    const filter = typed.slice(0, length);
    let start = performance.now();
    const shown = filtered(paths, filter).length;
    worst = Math.max(worst, performance.now() - start);
    start = performance.now();
    const counted = bare(filter);
    worstBare = Math.max(worstBare, performance.now() - start);
    if (shown !== counted)
        throw new Error(`${filter}: ${shown} shown, ${counted} counted`);
}
console.log(JSON.stringify({ rules: count, slowestKeystrokeMs: Math.round(worst), bareLoopMs: Math.round(worstBare) }));
