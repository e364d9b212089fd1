// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
/* global cockpit */
import React, { useDeferredValue, useMemo, useState } from "react";
import {
    Button, Form, FormGroup, Modal, SearchInput, TextInput, Toolbar, ToolbarContent, ToolbarItem,
} from "@patternfly/react-core";
import { FixedSizeList } from "react-window";

import { PathIndex } from "./filterpaths.mjs";
import { formatNumber, printable } from "./text.js";

const _ = cockpit.gettext;
const rowHeight = 36;

/*
 * Rows of paths (the rules with their level strings, the exceptions, the
 * unprotected objects) as a table that draws only the rows in view, with a
 * filter (case does not matter): usable at a million rows. `paths` is in the order shown;
 * `levelOf` gives a second column; `onEdit` makes a row's button edit it,
 * `onAdd` a toolbar button add one.
 */
export function PathTable({ id, paths, levelOf, onEdit, onAdd, editLabel }) {
    const [filter, setFilter] = useState("");
    const deferred = useDeferredValue(filter);
    const index = useMemo(() => new PathIndex(paths), [paths]);
    const lines = useMemo(() => index.matching(deferred), [index, deferred]);
    const shownCount = lines ? lines.length : paths.length;
    const Row = ({ index: row, style }) => {
        const path = paths[lines ? lines[row] : row];
        return (
            <div className="mic-row" style={style} role="row">
                <span role="cell" className="mic-path" title={printable(path)}>{printable(path)}</span>
                {levelOf && <span role="cell" className="mic-level">{printable(levelOf(path))}</span>}
                {onEdit &&
                    <span role="cell" className="mic-action">
                        <Button variant="link" size="sm" onClick={() => onEdit(path)}>{editLabel}</Button>
                    </span>}
            </div>
        );
    };
    return (
        <div id={id}>
            <Toolbar>
                <ToolbarContent>
                    <ToolbarItem variant="search-filter" widths={{ default: "100%", md: "30em" }}>
                        <SearchInput aria-label={_("Filter")} placeholder={_("Filter")} value={filter}
                                     onChange={(event, value) => setFilter(value)} onClear={() => setFilter("")} />
                    </ToolbarItem>
                    {onAdd &&
                        <ToolbarItem>
                            <Button className="mic-add" variant="secondary" onClick={onAdd}>{_("Add…")}</Button>
                        </ToolbarItem>}
                    <ToolbarItem variant="pagination">
                        <span className="mic-count">{cockpit.format(cockpit.ngettext("$0 of $1 row", "$0 of $1 rows", paths.length), formatNumber(shownCount), formatNumber(paths.length))}</span>
                    </ToolbarItem>
                </ToolbarContent>
            </Toolbar>
            <div role="table" aria-rowcount={shownCount}>
                <div className="mic-row mic-header" role="row">
                    <span role="columnheader" className="mic-path">{_("Path")}</span>
                    {levelOf && <span role="columnheader" className="mic-level">{_("Level")}</span>}
                    {onEdit && <span className="mic-action" />}
                </div>
                <FixedSizeList height={Math.min(480, Math.max(rowHeight, shownCount * rowHeight))} itemCount={shownCount}
                               itemSize={rowHeight} width="100%">
                    {Row}
                </FixedSizeList>
            </div>
        </div>
    );
}

// The paths of a set of rows, sorted once per set.
export function useSortedPaths(rows) {
    return useMemo(() => Object.keys(rows).sort(), [rows]);
}

/*
 * A rule or an exception to add, change or remove: `initial` is the row
 * edited (null to add one); `withLevel` asks for a level string too.
 * `onDone` gets the path and level, or the path and null to remove it.
 */
export function PathDialog({ title, initial, withLevel, onDone, onCancel }) {
    const [path, setPath] = useState(initial?.path ?? "");
    const [level, setLevel] = useState(initial?.level ?? "");
    const valid = path.startsWith("/") && (!withLevel || level.trim() !== "");
    const actions = [
        <Button key="ok" id="path-ok" variant="primary" isDisabled={!valid} onClick={() => onDone(path, withLevel ? level.trim() : true)}>
            {_("OK")}
        </Button>,
    ];
    if (initial)
        actions.push(<Button key="remove" id="path-remove" variant="danger" onClick={() => onDone(initial.path, null)}>{_("Remove")}</Button>);
    actions.push(<Button key="cancel" variant="link" onClick={onCancel}>{_("Cancel")}</Button>);
    return (
        <Modal id="path-dialog" isOpen variant="small" title={title} onClose={onCancel} actions={actions}>
            <Form onSubmit={event => { event.preventDefault(); if (valid) onDone(path, withLevel ? level.trim() : true) }}>
                <FormGroup label={_("Path")} fieldId="path-input">
                    <TextInput id="path-input" value={path} isDisabled={Boolean(initial)} onChange={(event, value) => setPath(value)} />
                </FormGroup>
                {withLevel &&
                    <FormGroup label={_("Level")} fieldId="level-input">
                        <TextInput id="level-input" value={level} onChange={(event, value) => setLevel(value)} />
                    </FormGroup>}
            </Form>
        </Modal>
    );
}
