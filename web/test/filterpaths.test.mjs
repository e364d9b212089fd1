// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
//
// The tables' filter, against a plain search of each path: case does not
// matter, and a name whose lower case is longer than itself ("İ") does not
// shift the rows after it.
import assert from "node:assert/strict";
import { test } from "node:test";

import { PathIndex } from "../src/filterpaths.mjs";

function plain(paths, filter) {
    const needle = filter.toLowerCase();
    return paths.flatMap((path, line) => path.toLowerCase().includes(needle) ? [line] : []);
}

test("the filter finds what a plain search of each path finds", () => {
    const paths = ["/srv/Data/a", "/srv/İstanbul/b", "/srv/data/c", "/srv/x\u202Eexe.txt", "/etc/DATA", "/srv/data/İİ/d"];
    const index = new PathIndex(paths);
    for (const filter of ["data", "DATA", "/srv/", "b", "i̇stanbul", "İ", "\u202E", "d", "zzz", "a/a"])
        assert.deepEqual(Array.from(index.matching(filter)), plain(paths, filter), filter);
    assert.equal(index.matching(""), null);
    assert.deepEqual(Array.from(index.matching("a\nb")), []);
});
