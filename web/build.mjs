// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
//
// Builds the web console's page into dist/: the bundle of the sources with
// React and PatternFly (esbuild), the page, its manifest, and the German
// texts as the console loads them (po.de.js), from the same catalogue as
// the settings page.
import * as esbuild from "esbuild";
import { copyFileSync, mkdirSync, readFileSync, writeFileSync } from "node:fs";
import { poToCockpit } from "./po2cockpit.mjs";

const out = process.argv[2] || "dist";
mkdirSync(out, { recursive: true });

await esbuild.build({
    entryPoints: ["src/index.jsx"],
    bundle: true,
    outfile: `${out}/index.js`,
    minify: true,
    sourcemap: false,
    target: ["es2020"],
    jsx: "automatic",
    loader: { ".woff": "file", ".woff2": "file", ".svg": "file", ".png": "file", ".jpg": "file" },
    // The console provides cockpit.js itself (../base1/cockpit.js).
    define: { "process.env.NODE_ENV": '"production"' },
    logLevel: "warning",
    legalComments: "linked",
});

for (const file of ["index.html", "manifest.json"]) {
    copyFileSync(`src/${file}`, `${out}/${file}`);
}
writeFileSync(`${out}/po.de.js`, poToCockpit(readFileSync("../po/de/lumen_kcm_mic.po", "utf8"), "de"));
