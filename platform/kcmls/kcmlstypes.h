// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef KCMLS_KCMLSTYPES_H
#define KCMLS_KCMLSTYPES_H

namespace KCMLS
{
// What the state overlay is waiting for.
enum State {
    NoState = 0,
    AuthorizationState = 1,
    ReadingState = 2,
    SavingState = 3,
};

// Values follow KMessageWidget::MessageType, which shows them.
enum MessageType {
    PositiveMessage = 0,
    InformationMessage = 1,
    WarningMessage = 2,
    ErrorMessage = 3,
};
}

#endif
