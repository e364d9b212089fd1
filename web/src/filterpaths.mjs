// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

/*
 * The paths of a table, searchable as one text: the filter runs the
 * engine's native substring search over all of them at once, rather than
 * once per path, and skips to the next line at each match. At a million
 * paths a keystroke takes milliseconds; the text is made once per table.
 * Case does not matter, as in the settings page's tables.
 */
export class PathIndex {
    constructor(paths) {
        this.paths = paths;
        // Each path lower-cased on its own: a character may lower-case to
        // two ("İ"), and the lines must start where the text has them.
        const lowered = paths.map(path => path.toLowerCase());
        this.text = lowered.join("\n") + "\n";
        this.starts = new Int32Array(paths.length + 1);
        let offset = 0;
        for (let i = 0; i < lowered.length; i++) {
            this.starts[i] = offset;
            offset += lowered[i].length + 1;
        }
        this.starts[paths.length] = offset;
    }

    // The numbers of the paths that hold `filter`, in their order; null
    // for no filter (every path).
    matching(filter) {
        const needle = filter.toLowerCase();
        if (!needle)
            return null;
        if (needle.includes("\n"))
            return new Int32Array(0);
        const found = new Int32Array(this.paths.length);
        const starts = this.starts;
        let count = 0;
        let line = 0;
        let at = this.text.indexOf(needle);
        while (at !== -1) {
            while (starts[line + 1] <= at)
                line++;
            found[count++] = line;
            at = this.text.indexOf(needle, starts[++line]);
        }
        return found.subarray(0, count);
    }
}
