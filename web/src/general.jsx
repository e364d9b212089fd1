// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
/* global cockpit */
import React, { useState } from "react";
import {
    Alert, Card, CardBody, CardTitle, DescriptionList, DescriptionListDescription, DescriptionListGroup,
    DescriptionListTerm, Flex, FlexItem, Switch, TextInput,
} from "@patternfly/react-core";

import { levelText } from "./levels.jsx";
import { formatNumber } from "./text.js";

const _ = cockpit.gettext;

// A level as typed: a whole number from 0 to 255, nothing else.
function isLevel(text) {
    return /^[0-9]{1,3}$/.test(text) && Number(text) <= 255;
}

// `setProblem` tells the page that the field holds no level, so that
// nothing is applied until it does.
export function General({ status, state, edit, catalogue, setProblem }) {
    const [typed, setTyped] = useState(null);
    const typeLevel = text => {
        setTyped(text);
        setProblem(!isLevel(text));
        if (isLevel(text))
            edit("maxLevelAfterReboot", Number(text));
    };
    const onOff = value => value === "enabled" ? _("enabled") : _("disabled");
    const unprotected = status.fileSystem.unprotected || [];
    return (
        <Card id="general" isPlain>
            <CardTitle>{_("Mandatory Integrity Control subsystem")}</CardTitle>
            <CardBody>
                <DescriptionList isHorizontal>
                    <DescriptionListGroup>
                        <DescriptionListTerm>MIC</DescriptionListTerm>
                        <DescriptionListDescription id="mic-now">
                            {onOff(status.mic.now)} / {onOff(status.mic.afterReboot)}
                        </DescriptionListDescription>
                    </DescriptionListGroup>
                    <DescriptionListGroup>
                        <DescriptionListTerm>{_("Enable MIC")}</DescriptionListTerm>
                        <DescriptionListDescription>
                            <Switch id="mic-after-reboot" aria-label={_("Enable MIC")} isChecked={state.micEnabledAfterReboot}
                                    onChange={(event, checked) => edit("micEnabledAfterReboot", checked)} />
                        </DescriptionListDescription>
                    </DescriptionListGroup>
                    <DescriptionListGroup>
                        <DescriptionListTerm>{_("Maximum level")}</DescriptionListTerm>
                        <DescriptionListDescription id="max-level">
                            <Flex alignItems={{ default: "alignItemsCenter" }} spaceItems={{ default: "spaceItemsSm" }}>
                                <FlexItem>{levelText(catalogue, status.maxLevelNow)} /</FlexItem>
                                <FlexItem>
                                    <TextInput id="max-level-after-reboot" className="mic-number" type="number" min={0} max={255}
                                               value={typed ?? state.maxLevelAfterReboot} aria-label={_("Maximum level after reboot")}
                                               validated={typed !== null && !isLevel(typed) ? "error" : "default"}
                                               onChange={(event, value) => typeLevel(value)} />
                                </FlexItem>
                                <FlexItem id="max-level-name">{levelText(catalogue, state.maxLevelAfterReboot)}</FlexItem>
                            </Flex>
                        </DescriptionListDescription>
                    </DescriptionListGroup>
                    <DescriptionListGroup>
                        <DescriptionListTerm>{_("Protect filesystem")}</DescriptionListTerm>
                        <DescriptionListDescription>
                            <Switch id="protection" aria-label={_("Protect filesystem")} isChecked={state.fileSystemProtection}
                                    onChange={(event, checked) => edit("fileSystemProtection", checked)} />
                            {unprotected.length > 0 &&
                                <div id="unprotected-count" className="pf-v5-u-mt-sm">
                                    {cockpit.format(cockpit.ngettext("$0 object below its configured level (see Unprotected Objects)",
                                                                     "$0 objects below their configured level (see Unprotected Objects)",
                                                                     unprotected.length), formatNumber(unprotected.length))}
                                </div>}
                        </DescriptionListDescription>
                    </DescriptionListGroup>
                </DescriptionList>
                {status.rebootPending && <Alert variant="info" isInline title={_("The changes take effect after a reboot.")} />}
            </CardBody>
        </Card>
    );
}
