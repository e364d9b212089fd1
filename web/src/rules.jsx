// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
/* global cockpit */
import React, { useDeferredValue, useMemo, useState } from "react";
import { SearchInput, Toolbar, ToolbarContent, ToolbarItem } from "@patternfly/react-core";
import { FixedSizeList } from "react-window";

import { filtered } from "./filterpaths.mjs";

const _ = cockpit.gettext;
const rowHeight = 32;

/*
 * The rules (path and level as configured), or the exceptions (paths), as
 * a table that draws only the rows in view: usable at a million rows.
 */
export function PathTable({ id, rows, levelOf }) {
    const [filter, setFilter] = useState("");
    const deferred = useDeferredValue(filter);
    const paths = useMemo(() => Object.keys(rows).sort(), [rows]);
    const shown = useMemo(() => filtered(paths, deferred), [paths, deferred]);
    const Row = ({ index, style }) => (
        <div className="mic-row" style={style} role="row">
            <span role="cell" className="mic-path">{shown[index]}</span>
            {levelOf && <span role="cell" className="mic-level">{levelOf(shown[index])}</span>}
        </div>
    );
    return (
        <div id={id}>
            <Toolbar>
                <ToolbarContent>
                    <ToolbarItem>
                        <SearchInput aria-label={_("Filter")} placeholder={_("Filter")} value={filter}
                                     onChange={(event, value) => setFilter(value)} />
                    </ToolbarItem>
                    <ToolbarItem variant="pagination">
                        <span className="mic-count">{cockpit.format(cockpit.ngettext("$0 of $1 row", "$0 of $1 rows", paths.length), shown.length, paths.length)}</span>
                    </ToolbarItem>
                </ToolbarContent>
            </Toolbar>
            <div role="table" aria-rowcount={shown.length}>
                <FixedSizeList height={Math.min(480, Math.max(rowHeight, shown.length * rowHeight))} itemCount={shown.length}
                               itemSize={rowHeight} width="100%">
                    {Row}
                </FixedSizeList>
            </div>
        </div>
    );
}
