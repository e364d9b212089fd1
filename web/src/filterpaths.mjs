// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// The paths that hold the filter, in their order: one pass over them.
export function filtered(paths, filter) {
    if (!filter)
        return paths;
    const shown = [];
    for (let i = 0; i < paths.length; i++) {
        if (paths[i].indexOf(filter) !== -1)
            shown.push(paths[i]);
    }
    return shown;
}
