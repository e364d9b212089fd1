// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
/* global cockpit */
import React, { useState } from "react";
import { SearchInput, Toolbar, ToolbarContent, ToolbarItem } from "@patternfly/react-core";
import { Table, Tbody, Td, Th, Thead, Tr } from "@patternfly/react-table";

import { LevelSelect } from "./levels.jsx";
import { printable } from "./text.js";

const _ = cockpit.gettext;

// Each user's maximal level, filtered by name.
export function Users({ levels, catalogue, editUser }) {
    const [filter, setFilter] = useState("");
    const names = Object.keys(levels).filter(name => name.includes(filter)).sort();
    return (
        <>
            <Toolbar>
                <ToolbarContent>
                    <ToolbarItem>
                        <SearchInput id="user-filter" aria-label={_("Filter")} placeholder={_("Filter")} value={filter} onChange={(event, value) => setFilter(value)} />
                    </ToolbarItem>
                </ToolbarContent>
            </Toolbar>
            <Table id="users" variant="compact" aria-label={_("User Integrity Levels")}>
                <Thead>
                    <Tr><Th>{_("User")}</Th><Th>{_("Maximal level")}</Th></Tr>
                </Thead>
                <Tbody>
                    {names.map(name => (
                        <Tr key={name} data-user={name}>
                            <Td>{printable(name)}</Td>
                            <Td>
                                <LevelSelect catalogue={catalogue} aria-label={name} value={levels[name]}
                                             onChange={level => editUser(name, level)} />
                            </Td>
                        </Tr>
                    ))}
                </Tbody>
            </Table>
        </>
    );
}
