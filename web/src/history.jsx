// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
/* global cockpit */
import React, { useEffect, useState } from "react";
import { Alert, Button } from "@patternfly/react-core";
import { Table, Tbody, Td, Th, Thead, Tr } from "@patternfly/react-table";

import * as micctl from "./micctl.js";
import { formatTime, printable } from "./text.js";

const _ = cockpit.gettext;

// The changes asked of the helper, newest first; an applied one can be
// undone by restoring the state before it.
export function History({ onRestore }) {
    const [entries, setEntries] = useState(null);
    const [error, setError] = useState(null);
    useEffect(() => { micctl.history().then(setEntries).catch(setError) }, []);
    if (error)
        return <Alert variant="danger" isInline title={error.message} />;
    if (!entries)
        return null;
    let applied = 0;
    return (
        <Table id="history" variant="compact" aria-label={_("History")}>
            <Thead>
                <Tr><Th>{_("When")}</Th><Th>{_("User")}</Th><Th>{_("Change")}</Th><Th>{_("Outcome")}</Th><Th /></Tr>
            </Thead>
            <Tbody>
                {entries.map(entry => {
                    const back = entry.outcome === "applied" ? ++applied : null;
                    return (
                        <Tr key={entry.requestId || entry.time}>
                            <Td>{formatTime(entry.time)}</Td>
                            <Td>{printable(entry.user)}</Td>
                            <Td>{printable(entry.summaryText)}</Td>
                            <Td>
                                {entry.outcomeText}
                                {entry.text && <div className="pf-v5-u-font-size-sm">{printable(entry.text)}</div>}
                            </Td>
                            <Td>
                                {back && <Button variant="secondary" size="sm" onClick={() => onRestore(back)}>{_("Restore the state before")}</Button>}
                            </Td>
                        </Tr>
                    );
                })}
            </Tbody>
        </Table>
    );
}
