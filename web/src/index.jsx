// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
/* global cockpit */
import "@patternfly/react-core/dist/styles/base.css";

import React, { useEffect, useState } from "react";
import { createRoot } from "react-dom/client";
import {
    Alert, Card, CardBody, CardTitle, DescriptionList, DescriptionListDescription, DescriptionListGroup,
    DescriptionListTerm, EmptyState, EmptyStateBody, EmptyStateHeader, Page, PageSection, Spinner,
} from "@patternfly/react-core";

import { status as readStatus } from "./micctl.js";

const _ = cockpit.gettext;

function General({ state }) {
    const onOff = value => value === "enabled" ? _("enabled") : _("disabled");
    return (
        <Card id="general">
            <CardTitle>{_("Mandatory Integrity Control subsystem")}</CardTitle>
            <CardBody>
                <DescriptionList isHorizontal>
                    <DescriptionListGroup>
                        <DescriptionListTerm>MIC</DescriptionListTerm>
                        <DescriptionListDescription id="mic-now">
                            {onOff(state.mic.now)} / {onOff(state.mic.afterReboot)}
                        </DescriptionListDescription>
                    </DescriptionListGroup>
                    <DescriptionListGroup>
                        <DescriptionListTerm>{_("Maximum level")}</DescriptionListTerm>
                        <DescriptionListDescription id="max-level">
                            {state.maxLevelNow} / {state.maxLevelAfterReboot}
                        </DescriptionListDescription>
                    </DescriptionListGroup>
                </DescriptionList>
                {state.rebootPending && <Alert variant="info" isInline title={_("The changes take effect after a reboot.")} />}
            </CardBody>
        </Card>
    );
}

function App() {
    const [state, setState] = useState(null);
    const [error, setError] = useState(null);
    useEffect(() => {
        readStatus().then(setState).catch(setError);
    }, []);
    let content;
    if (error)
        content = <Alert variant="danger" title={error.message} />;
    else if (!state)
        content = (
            <EmptyState>
                <EmptyStateHeader icon={<Spinner />} />
                <EmptyStateBody>{_("Reading the settings…")}</EmptyStateBody>
            </EmptyState>
        );
    else
        content = <General state={state} />;
    return (
        <Page>
            <PageSection>{content}</PageSection>
        </Page>
    );
}

document.addEventListener("DOMContentLoaded", () => {
    createRoot(document.getElementById("app")).render(<App />);
});
