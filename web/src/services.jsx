// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
/* global cockpit */
import React from "react";
import { Switch } from "@patternfly/react-core";
import { Table, Tbody, Td, Th, Thead, Tr } from "@patternfly/react-table";

const _ = cockpit.gettext;

// Each service that can be isolated, and whether it starts on its isolated
// level; one in error cannot be changed.
export function Services({ isolation, inError, editService }) {
    const names = Object.keys(isolation).sort();
    return (
        <Table id="services" variant="compact" aria-label={_("Services")}>
            <Thead>
                <Tr><Th>{_("Service")}</Th><Th>{_("Isolated")}</Th></Tr>
            </Thead>
            <Tbody>
                {names.map(name => (
                    <Tr key={name} data-service={name}>
                        <Td>{name}</Td>
                        <Td>
                            <Switch aria-label={name} isChecked={isolation[name]} isDisabled={inError.includes(name)}
                                    label={inError.includes(name) ? _("cannot be isolated (in error)") : undefined}
                                    onChange={(event, checked) => editService(name, checked)} />
                        </Td>
                    </Tr>
                ))}
            </Tbody>
        </Table>
    );
}
