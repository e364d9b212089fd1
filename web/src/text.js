// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
/* global cockpit */

// A number in the console's language ("pt_BR" is "pt-BR" to the browser).
export function formatNumber(number) {
    try {
        return number.toLocaleString(cockpit.language.replace("_", "-"));
    } catch (error) {
        return String(number);
    }
}

// A name as shown: control and formatting characters (a right-to-left
// override in a file name a user chose, say) spelled out, as micctl does,
// so that one path cannot pass for another.
export function printable(text) {
    return String(text).replace(/[\p{Cc}\p{Cf}]/gu,
                                character => `\\u${character.codePointAt(0).toString(16).padStart(4, "0")}`);
}

// A date and time in the console's language.
export function formatTime(time) {
    try {
        return new Date(time).toLocaleString(cockpit.language.replace("_", "-"));
    } catch (error) {
        return String(time);
    }
}
