// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
//
// micctl, run by the console with administrative access: its JSON on
// standard output, its messages (in the console's language) on standard
// error. The page reaches the settings only this way.
/* global cockpit */

export class MicctlError extends Error {
    constructor(message, exitStatus, problem) {
        super(message);
        this.exitStatus = exitStatus;
        this.problem = problem;
    }
}

function environment() {
    return [`LANGUAGE=${cockpit.language}`, "LC_ALL=C.UTF-8"];
}

// Runs micctl with `args`; resolves with its standard output, rejects with
// a MicctlError that holds its message.
export function run(args, { input } = {}) {
    const process = cockpit.spawn(["micctl", ...args], {
        superuser: "require",
        err: "message",
        environ: environment(),
    });
    if (input !== undefined)
        process.input(input);
    return new Promise((resolve, reject) => {
        process.then(output => resolve(output)).catch(exception => {
            reject(new MicctlError(exception.message, exception.exit_status ?? null, exception.problem ?? null));
        });
    });
}

export async function status() {
    return JSON.parse(await run(["status", "--json"]));
}
