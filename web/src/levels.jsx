// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
/* global cockpit */
import React from "react";
import { FormSelect, FormSelectOption } from "@patternfly/react-core";

// A level as the KDE page and micctl name it: the catalogue's name, or the
// number alone for a level the catalogue does not name.
export function levelText(catalogue, value) {
    const entry = catalogue.find(level => level.value === value);
    return entry ? entry.name : String(value);
}

// A choice among the catalogue's levels; a level it lacks is kept as a
// choice of its own, so that reading never changes it.
export function LevelSelect({ catalogue, value, onChange, ...props }) {
    const choices = catalogue.some(level => level.value === value) ? catalogue : [...catalogue, { value }];
    return (
        <FormSelect value={value} onChange={(event, chosen) => onChange(Number(chosen))} {...props}>
            {choices.map(level => <FormSelectOption key={level.value} value={level.value} label={levelText(catalogue, level.value)} />)}
        </FormSelect>
    );
}
