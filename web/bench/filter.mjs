// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
//
// The web page's table filter at a million rules: each keystroke of a typed
// filter, beside a bare loop that searches each path of the same list (the
// plain way to filter). Prints one row of bench/run's table.
import { PathIndex } from "../src/filterpaths.mjs";

const count = Number(process.argv[2] || 1000000);
const paths = [];
for (let i = 0; i < count; i++)
    paths.push(`/srv/data/d${String(i % 1000).padStart(3, "0")}/f${String(i).padStart(7, "0")}.dat`);
paths.sort();

function bare(filter) {
    const shown = [];
    for (let i = 0; i < paths.length; i++)
        if (paths[i].indexOf(filter) !== -1)
            shown.push(i);
    return shown.length;
}

// The slowest keystroke of three typings of the filter, each from an empty
// field; the first typing warms the engine for both.
const typed = "d042/f00420";
let index = null;
let made = 0;
let worst = 0;
let worstBare = 0;
for (let round = 0; round < 3; round++) {
    let start = performance.now();
    index = new PathIndex(paths);
    made = performance.now() - start;
    for (let length = 1; length <= typed.length; length++) {
        const filter = typed.slice(0, length);
        start = performance.now();
        const shown = index.matching(filter).length;
        const took = performance.now() - start;
        start = performance.now();
        const counted = bare(filter);
        const tookBare = performance.now() - start;
        if (shown !== counted)
            throw new Error(`${filter}: ${shown} shown, ${counted} counted`);
        if (round > 0) {
            worst = Math.max(worst, took);
            worstBare = Math.max(worstBare, tookBare);
        }
    }
}
const memory = process.memoryUsage().rss / 1048576;
console.log(`| web page's rule filter, slowest keystroke of "${typed}" typed (table's text made once: ${made.toFixed(0)} ms) | ${count} | ` +
            `${worst.toFixed(1)} ms | ${memory.toFixed(1)} MiB | each path searched in a bare loop: ${worstBare.toFixed(1)} ms | ` +
            `${(worst / worstBare).toFixed(2)} |`);
