// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
/* global cockpit */
import "@patternfly/react-core/dist/styles/base.css";

import React, { useCallback, useEffect, useState } from "react";
import { createRoot } from "react-dom/client";
import {
    Alert, Button, EmptyState, EmptyStateBody, EmptyStateHeader, Page, PageSection, Spinner, Tab, Tabs, TabTitleText,
} from "@patternfly/react-core";

import * as micctl from "./micctl.js";
import { General } from "./general.jsx";
import { Users } from "./users.jsx";
import { History } from "./history.jsx";
import { Services } from "./services.jsx";
import { PathTable } from "./rules.jsx";
import "./page.css";
import { SaveDialog } from "./savedialog.jsx";

const _ = cockpit.gettext;

// The settings as read, and the administrator's edits over them: the
// desired state that a save applies names only what was edited.
function App() {
    const [machine, setMachine] = useState(null);
    const [edits, setEdits] = useState({});
    const [error, setError] = useState(null);
    const [saving, setSaving] = useState(null);
    const [tab, setTab] = useState("general");

    const read = useCallback(() => {
        setError(null);
        Promise.all([micctl.status(), micctl.desiredState()])
                .then(([status, state]) => { setMachine({ status, state }); setEdits({}) })
                .catch(setError);
    }, []);
    useEffect(read, [read]);

    const edit = (key, value) => setEdits(previous => ({ ...previous, [key]: value }));
    const editUser = (user, level) => setEdits(previous => ({ ...previous, userLevels: { ...(previous.userLevels || {}), [user]: level } }));
    const editService = (name, isolated) => setEdits(previous => ({ ...previous, serviceIsolation: { ...(previous.serviceIsolation || {}), [name]: isolated } }));
    const changed = Object.keys(edits).length > 0;

    if (error?.needsAdministrativeAccess)
        return (
            <EmptyState id="needs-admin">
                <EmptyStateHeader titleText={_("Administrative access is needed")} headingLevel="h2" />
                <EmptyStateBody>
                    {_("The integrity control settings can be read and changed only with administrative access. Turn it on with the console's \"Limited access\" button.")}
                </EmptyStateBody>
            </EmptyState>
        );
    if (!machine && !error)
        return (
            <EmptyState>
                <EmptyStateHeader icon={<Spinner />} />
                <EmptyStateBody>{_("Reading the settings…")}</EmptyStateBody>
            </EmptyState>
        );

    const desired = { format: "lumen-mic-state", version: 1, ...edits };
    return (
        <Page>
            <PageSection>
                {error && <Alert id="error" variant="danger" isInline title={error.message} />}
                {machine &&
                    <Tabs activeKey={tab} onSelect={(event, key) => setTab(key)} mountOnEnter unmountOnExit>
                        <Tab eventKey="general" title={<TabTitleText>{_("General")}</TabTitleText>}>
                            <General status={machine.status} state={{ ...machine.state, ...edits }} edit={edit} />
                        </Tab>
                        <Tab eventKey="users" title={<TabTitleText>{_("Users")}</TabTitleText>}>
                            <Users levels={{ ...machine.state.userLevels, ...(edits.userLevels || {}) }} editUser={editUser} />
                        </Tab>
                        <Tab eventKey="services" title={<TabTitleText>{_("Services")}</TabTitleText>}>
                            <Services isolation={{ ...machine.state.serviceIsolation, ...(edits.serviceIsolation || {}) }} editService={editService} />
                        </Tab>
                        <Tab eventKey="rules" title={<TabTitleText>{_("Rules")}</TabTitleText>}>
                            <PathTable id="rules" rows={machine.state.rules} levelOf={path => machine.state.rules[path]} />
                        </Tab>
                        <Tab eventKey="exceptions" title={<TabTitleText>{_("Exceptions")}</TabTitleText>}>
                            <PathTable id="exceptions" rows={Object.fromEntries(machine.state.exceptions.map(path => [path, true]))} />
                        </Tab>
                        <Tab eventKey="history" title={<TabTitleText>{_("History")}</TabTitleText>}>
                            <History onRestore={count => setSaving({ rollback: count })} />
                        </Tab>
                    </Tabs>}
                <div className="pf-v5-u-mt-md">
                    <Button id="apply" variant="primary" isDisabled={!changed} onClick={() => setSaving({ state: desired })}>
                        {_("Apply")}
                    </Button>{" "}
                    <Button id="reset" variant="link" isDisabled={!changed} onClick={() => setEdits({})}>{_("Reset")}</Button>{" "}
                    <Button id="read-again" variant="secondary" onClick={read}>{_("Read again")}</Button>
                </div>
            </PageSection>
            {saving && <SaveDialog request={saving} onClose={() => { setSaving(null); read() }} />}
        </Page>
    );
}

document.addEventListener("DOMContentLoaded", () => {
    createRoot(document.getElementById("app")).render(<App />);
});
