// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
//
// micctl, run by the console with administrative access: the page reaches
// the settings only this way, through micctl's JSON, as scripts and the
// Ansible collection do. micctl speaks the console's language.
/* global cockpit */

export class MicctlError extends Error {
    constructor(message, exitStatus, problem) {
        super(message);
        this.exitStatus = exitStatus;
        this.problem = problem;
    }

    // The console has no administrative access for this session.
    get needsAdministrativeAccess() {
        return this.problem === "access-denied";
    }
}

function spawnOptions(extra) {
    return {
        superuser: "require",
        environ: [`LANGUAGE=${cockpit.language}`],
        ...extra,
    };
}

// Resolves with micctl's standard output; rejects with a MicctlError that
// holds its message from standard error. `allowed` lists exit statuses
// that are answers, not failures (2: would change).
export function run(args, { input, allowed = [] } = {}) {
    const process = cockpit.spawn(["micctl", ...args], spawnOptions({ err: "message" }));
    if (input !== undefined)
        process.input(input);
    return new Promise((resolve, reject) => {
        process.then(output => resolve(output)).catch((exception, output) => {
            if (allowed.includes(exception.exit_status))
                resolve(output);
            else
                reject(new MicctlError(exception.message, exception.exit_status ?? null, exception.problem ?? null));
        });
    });
}

export async function status() {
    return JSON.parse(await run(["status", "--json"]));
}

export async function desiredState() {
    return JSON.parse(await run(["export", "--all"]));
}

export async function history() {
    return JSON.parse(await run(["history", "--json"]));
}

// What applying `state` would change, as micctl works it out with the
// helper: the document of `apply --check --json`.
export async function check(state) {
    return JSON.parse(await run(["apply", "--check", "--json", "-"], { input: JSON.stringify(state), allowed: [2] }));
}

export async function rollbackCheck(count) {
    return JSON.parse(await run(["rollback", "--check", "--json", String(count)], { allowed: [2] }));
}

/*
 * A change that may take long: micctl's progress lines (--progress=json)
 * come with its other messages; `onProgress` gets each report. Returns the
 * process, whose close() stops the change (micctl then asks the helper to
 * put everything back), and a promise of the outcome as the history
 * records it.
 */
export function change(args, { input, onProgress }) {
    const process = cockpit.spawn(["micctl", "--progress=json", ...args], spawnOptions({ err: "out" }));
    if (input !== undefined)
        process.input(input);
    let pending = "";
    const messages = [];
    process.stream(data => {
        pending += data;
        const lines = pending.split("\n");
        pending = lines.pop();
        for (const line of lines) {
            if (line.startsWith("{")) {
                try {
                    const report = JSON.parse(line);
                    if (report.progress)
                        onProgress(report.progress);
                    continue;
                } catch (error) {
                    // Not a report: a line of a message.
                }
            }
            if (line.trim())
                messages.push(line);
        }
    });
    const outcome = new Promise((resolve, reject) => {
        process.then(() => resolve(messages)).catch(exception => {
            reject(new MicctlError(messages.join("\n") || exception.message, exception.exit_status ?? null, exception.problem ?? null));
        });
    });
    return { process, outcome };
}
