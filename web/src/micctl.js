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

// As root when the console has administrative access; otherwise as the
// user, whom the helper then refuses with its reason.
function spawnOptions(extra) {
    return {
        superuser: "try",
        environ: [`LANGUAGE=${cockpit.language}`],
        ...extra,
    };
}

// micctl's messages name it, as a command's do; the page speaks for itself.
function withoutProgramName(text) {
    return (text || "").replace(/^micctl: /gm, "");
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
                reject(new MicctlError(withoutProgramName(exception.message), exception.exit_status ?? null, exception.problem ?? null));
        });
    });
}

/*
 * Whether the console has administrative access ("Limited access" when it
 * has not): `onChange` gets true or false, now and whenever the
 * administrator switches it in the console's top bar.
 */
export function watchAdministrativeAccess(onChange) {
    const proxy = cockpit.dbus(null, { bus: "internal" }).proxy("cockpit.Superuser", "/superuser");
    // Told once for each change of access; "init" is not known yet. A
    // console without this interface lets the helper decide.
    let told = null;
    const tell = () => {
        if (proxy.Current === "init")
            return;
        const access = proxy.Current !== "none";
        if (access !== told) {
            told = access;
            onChange(access);
        }
    };
    proxy.wait(tell);
    proxy.addEventListener("changed", tell);
    return () => proxy.removeEventListener("changed", tell);
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

// Runs micctl through a shell that first says micctl's process number, as
// a JSON line of its own, then becomes micctl.
const sayingItsPid = ["/bin/sh", "-c", 'printf \'{"pid": %s}\\n\' "$$"; exec micctl "$@"', "micctl"];

const stopScript = `for _ in $(seq 50); do
    name=$(cat "/proc/$1/comm" 2>/dev/null) || exit 0
    case $name in
    micctl) exec kill -TERM "$1" ;;
    sh) sleep 0.1 ;;
    *) exit 0 ;;
    esac
done`;

/*
 * A change that may take long: micctl's progress lines (--progress=json)
 * come with its other messages; `onProgress` gets each report. Returns
 * stop(), which sends micctl SIGTERM (it then asks the helper to put
 * everything back, and waits for it), and a promise of the outcome.
 */
export function change(args, { input, onProgress }) {
    const process = cockpit.spawn([...sayingItsPid, "--progress=json", ...args], spawnOptions({ err: "out" }));
    let pid = null;
    let stopAsked = false;
    const stop = () => {
        stopAsked = true;
        // Only to micctl: the shell says the number before it becomes
        // micctl, and the number is free for another process once micctl
        // has ended.
        if (pid !== null)
            cockpit.spawn(["/bin/sh", "-c", stopScript, "stop", String(pid)], spawnOptions({ err: "message" })).catch(() => {});
    };
    if (input !== undefined)
        process.input(input);
    let pending = "";
    let skipNextMessage = false;
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
                    // The page shows the stop itself: micctl's words for it
                    // follow as the next message.
                    if (report.stopping)
                        skipNextMessage = true;
                    if (Number.isInteger(report.pid) && pid === null) {
                        pid = report.pid;
                        if (stopAsked)
                            stop();
                    }
                    continue;
                } catch (error) {
                    // Not a report: a line of a message.
                }
            }
            if (line.trim() && !skipNextMessage)
                messages.push(withoutProgramName(line));
            skipNextMessage = false;
        }
    });
    const outcome = new Promise((resolve, reject) => {
        process.then(() => resolve(messages)).catch(exception => {
            reject(new MicctlError(messages.join("\n") || exception.message, exception.exit_status ?? null, exception.problem ?? null));
        });
    });
    return { stop, outcome };
}
