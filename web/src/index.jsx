// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
/* global cockpit */
import "@patternfly/react-core/dist/styles/base.css";

import React, { useCallback, useEffect, useMemo, useRef, useState } from "react";
import { createRoot } from "react-dom/client";
import {
    Alert, Button, EmptyState, EmptyStateBody, EmptyStateHeader, Page, PageSection, Spinner, Tab, Tabs, TabTitleText,
} from "@patternfly/react-core";

import * as micctl from "./micctl.js";
import { General } from "./general.jsx";
import { Users } from "./users.jsx";
import { History } from "./history.jsx";
import { Services } from "./services.jsx";
import { PathDialog, PathTable, useSortedPaths } from "./rules.jsx";
import "./page.css";
import { SaveDialog } from "./savedialog.jsx";

const _ = cockpit.gettext;
const N_ = text => text;
// The console's menu entry, from manifest.json: the console translates it
// with the page's catalogue.
N_("Integrity Control");

// The rules, with their level strings, as a table to edit.
function Rules({ rules, editRule }) {
    const [editing, setEditing] = useState(undefined);
    const paths = useSortedPaths(rules);
    return (
        <>
            <PathTable id="rules" paths={paths} levelOf={path => rules[path]} editLabel={_("Edit")}
                       onEdit={path => setEditing({ path, level: rules[path] })} onAdd={() => setEditing(null)} />
            {editing !== undefined &&
                <PathDialog title={editing ? _("Edit Rule") : _("Add Rule")} initial={editing} withLevel
                            onCancel={() => setEditing(undefined)}
                            onDone={(path, level) => { editRule(path, level); setEditing(undefined) }} />}
        </>
    );
}

// The exceptions, paths the protection leaves alone.
function Exceptions({ exceptions, editException }) {
    const [editing, setEditing] = useState(undefined);
    const paths = useMemo(() => [...exceptions].sort(), [exceptions]);
    return (
        <>
            <PathTable id="exceptions" paths={paths} editLabel={_("Remove")}
                       onEdit={path => editException(path, false)} onAdd={() => setEditing(null)} />
            {editing !== undefined &&
                <PathDialog title={_("Add Exception")} initial={null}
                            onCancel={() => setEditing(undefined)}
                            onDone={path => { editException(path, true); setEditing(undefined) }} />}
        </>
    );
}

// Without administrative access: what the helper said, and the console's
// way to get access.
function NeedsAdministrativeAccess({ reason }) {
    return (
        <EmptyState id="needs-admin">
            <EmptyStateHeader titleText={_("Administrative access is needed")} headingLevel="h2" />
            <EmptyStateBody>
                <p>{_("The integrity control settings can be read and changed only with administrative access. Turn it on with the console's \"Limited access\" button in the top bar.")}</p>
                {reason && <p id="helper-reason">{reason}</p>}
            </EmptyStateBody>
        </EmptyState>
    );
}

// The settings as read, and the administrator's edits over them: the
// desired state that a save applies names only what was edited.
function App() {
    const [machine, setMachine] = useState(null);
    const [edits, setEdits] = useState({});
    const [error, setError] = useState(null);
    const [saving, setSaving] = useState(null);
    const [tab, setTab] = useState("general");
    const [administrative, setAdministrative] = useState(null);
    // A field that holds no setting (the maximum level left empty), and how
    // often the edits were put back, which clears such a field.
    const [problem, setProblem] = useState(false);
    const [resets, setResets] = useState(0);
    const reset = () => {
        setEdits({});
        setProblem(false);
        setResets(count => count + 1);
    };

    // Each read is numbered: only the newest one's answer counts.
    const reads = useRef(0);
    const read = useCallback(() => {
        const number = ++reads.current;
        setError(null);
        Promise.all([micctl.status(), micctl.desiredState()])
                .then(([status, state]) => {
                    if (number === reads.current) {
                        setMachine({ status, state, number });
                        reset();
                    }
                })
                .catch(failure => {
                    if (number === reads.current) {
                        setMachine(null);
                        setError(failure);
                    }
                });
    }, []);
    // Read again whenever the console's access changes.
    useEffect(() => micctl.watchAdministrativeAccess(access => { setAdministrative(access); read() }), [read]);

    const edit = (key, value) => setEdits(previous => ({ ...previous, [key]: value }));
    const editUser = (user, level) => setEdits(previous => ({ ...previous, userLevels: { ...(previous.userLevels || {}), [user]: level } }));
    const editService = (name, isolated) => setEdits(previous => ({ ...previous, serviceIsolation: { ...(previous.serviceIsolation || {}), [name]: isolated } }));
    const editRule = (path, level) => setEdits(previous => {
        const rules = { ...(previous.rules || machine.state.rules) };
        if (level === null)
            delete rules[path];
        else
            rules[path] = level;
        return { ...previous, rules };
    });
    const editException = (path, present) => setEdits(previous => {
        const exceptions = (previous.exceptions || machine.state.exceptions).filter(other => other !== path);
        return { ...previous, exceptions: present ? [...exceptions, path] : exceptions };
    });
    const changed = Object.keys(edits).length > 0;

    if (administrative === false)
        return <NeedsAdministrativeAccess reason={error?.message} />;
    if (!machine && !error)
        return (
            <EmptyState>
                <EmptyStateHeader icon={<Spinner />} />
                <EmptyStateBody>{_("Reading the settings…")}</EmptyStateBody>
            </EmptyState>
        );

    const state = machine && { ...machine.state, ...edits };
    const desired = { format: "lumen-mic-state", version: 1, ...edits };
    const catalogue = machine?.status.levels || [];
    return (
        <Page>
            <PageSection>
                {error && <Alert id="error" variant="danger" isInline title={error.message} />}
                {machine &&
                    <Tabs activeKey={tab} onSelect={(event, key) => setTab(key)} mountOnEnter unmountOnExit>
                        <Tab eventKey="general" title={<TabTitleText>{_("General")}</TabTitleText>}>
                            <General key={resets} status={machine.status} state={state} edit={edit} catalogue={catalogue} setProblem={setProblem} />
                        </Tab>
                        <Tab eventKey="users" title={<TabTitleText>{_("Users")}</TabTitleText>}>
                            <Users levels={{ ...machine.state.userLevels, ...(edits.userLevels || {}) }} catalogue={catalogue} editUser={editUser} />
                        </Tab>
                        <Tab eventKey="services" title={<TabTitleText>{_("Services")}</TabTitleText>}>
                            <Services isolation={{ ...machine.state.serviceIsolation, ...(edits.serviceIsolation || {}) }}
                                      inError={machine.status.services.inError || []} editService={editService} />
                        </Tab>
                        <Tab eventKey="rules" title={<TabTitleText>{_("Rules")}</TabTitleText>}>
                            <Rules rules={state.rules} editRule={editRule} />
                        </Tab>
                        <Tab eventKey="exceptions" title={<TabTitleText>{_("Exceptions")}</TabTitleText>}>
                            <Exceptions exceptions={state.exceptions} editException={editException} />
                        </Tab>
                        <Tab eventKey="unprotected" title={<TabTitleText>{_("Unprotected Objects")}</TabTitleText>}>
                            <PathTable id="unprotected" paths={machine.status.fileSystem.unprotected || []} />
                        </Tab>
                        <Tab eventKey="history" title={<TabTitleText>{_("History")}</TabTitleText>}>
                            <History key={machine.number} onRestore={count => setSaving({ rollback: count })} />
                        </Tab>
                    </Tabs>}
                <div className="pf-v5-u-mt-md">
                    <Button id="apply" variant="primary" isDisabled={!changed || problem} onClick={() => setSaving({ state: desired })}>
                        {_("Apply")}
                    </Button>{" "}
                    <Button id="reset" variant="link" isDisabled={!changed && !problem} onClick={reset}>{_("Reset")}</Button>{" "}
                    <Button id="read-again" variant="secondary" onClick={read}>{_("Read again")}</Button>
                </div>
            </PageSection>
            {saving && <SaveDialog request={saving} onClose={sent => { setSaving(null); if (sent) read() }} />}
        </Page>
    );
}

document.addEventListener("DOMContentLoaded", () => {
    createRoot(document.getElementById("app")).render(<App />);
});
