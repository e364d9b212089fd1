// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
/* global cockpit */
import React, { useEffect, useRef, useState } from "react";
import { Alert, Button, List, ListItem, Modal, Progress } from "@patternfly/react-core";
import { FixedSizeList } from "react-window";

import * as micctl from "./micctl.js";
import { formatNumber, printable } from "./text.js";

const _ = cockpit.gettext;

// What a change did: a line per relabelled object after a protection, up to
// a million of them, so a long list draws only the lines in view.
function ResultLines({ lines }) {
    if (lines.length <= 50)
        return <List id="save-result">{lines.map(line => <ListItem key={line}>{printable(line)}</ListItem>)}</List>;
    const Line = ({ index, style }) => <div className="mic-line" style={style}>{printable(lines[index])}</div>;
    return (
        <div id="save-result">
            <FixedSizeList height={400} itemCount={lines.length} itemSize={24} width="100%">{Line}</FixedSizeList>
        </div>
    );
}

/*
 * A save: the difference as micctl works it out with the helper first, a
 * question when labels would be lowered, then the change with its progress
 * and a Stop button, and what it did. `onClose` learns whether the change
 * was sent: if not, the edits stay for another try.
 */
export function SaveDialog({ request, onClose }) {
    const [difference, setDifference] = useState(null);
    const [progress, setProgress] = useState(null);
    const [result, setResult] = useState(null);
    const [error, setError] = useState(null);
    const [stopping, setStopping] = useState(false);
    const running = useRef(null);

    useEffect(() => {
        const checked = request.rollback ? micctl.rollbackCheck(request.rollback) : micctl.check(request.state);
        checked.then(setDifference).catch(setError);
    }, [request]);

    const apply = () => {
        if (running.current)
            return;
        const args = request.rollback ? ["rollback", String(request.rollback)] : ["apply", "-"];
        const input = request.rollback ? undefined : JSON.stringify(request.state);
        const { stop, outcome } = micctl.change(args, { input, onProgress: setProgress });
        running.current = stop;
        setProgress({ text: _("Applying…"), done: 0, total: 0 });
        outcome.then(lines => setResult(lines)).catch(setError).finally(() => { running.current = null });
    };

    const lowered = difference?.relabelled?.lowered || 0;
    const relabelling = difference?.relabelled?.count || 0;
    const nothingToChange = difference && difference.difference.length === 0;
    let body;
    if (error)
        body = <Alert id="save-error" variant="danger" isInline title={error.message} />;
    else if (result)
        body = <ResultLines lines={result} />;
    else if (progress)
        body = <Progress id="save-progress" title={progress.text} value={progress.total ? 100 * progress.done / progress.total : undefined} />;
    else if (nothingToChange)
        body = <p id="nothing-to-change">{_("Nothing to change.")}</p>;
    else if (difference)
        body = (
            <>
                <List id="difference">
                    {difference.difference.map(item => <ListItem key={item.text}>{item.text}</ListItem>)}
                </List>
                {relabelling > 0 && lowered === 0 &&
                    <Alert id="relabelling" variant="info" isInline
                           title={cockpit.format(cockpit.ngettext("Protecting changes the label of $0 object.", "Protecting changes the labels of $0 objects.", relabelling), formatNumber(relabelling))} />}
                {lowered > 0 &&
                    <Alert id="lowering" variant="warning" isInline
                           title={cockpit.format(cockpit.ngettext("Protecting lowers the label of $0 object.", "Protecting lowers the labels of $0 objects.", lowered), formatNumber(lowered))}>
                        {cockpit.format(cockpit.ngettext("It changes the label of $0 object in all.", "It changes the labels of $0 objects in all.", relabelling), formatNumber(relabelling))}
                    </Alert>}
            </>
        );
    else
        body = _("Working out the difference…");

    // The buttons keep their places as the dialog goes on, so that a click
    // meant for one never lands on another that has just appeared.
    const actions = [];
    if (!result && !error && !nothingToChange)
        actions.push(<Button key="apply" id="confirm-apply" variant={lowered > 0 ? "warning" : "primary"}
                             isDisabled={!difference || Boolean(progress)} onClick={apply}>{_("Apply")}</Button>);
    if (progress && !result && !error)
        actions.push(<Button key="stop" id="stop" variant="secondary" onClick={() => { running.current?.(); setStopping(true) }} isDisabled={stopping}>{stopping ? _("Stopping…") : _("Stop")}</Button>);
    else
        actions.push(<Button key="close" id="close" variant="link" onClick={() => onClose(Boolean(progress))}>{_("Close")}</Button>);
    return (
        <Modal id="save-dialog" isOpen variant="medium" title={_("Apply")} showClose={false} actions={actions}>
            {body}
        </Modal>
    );
}
