// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef CHANGERECOVERY_H
#define CHANGERECOVERY_H

class MicSystem;

/*
 * What the helper does on start, before it serves anything: a change whose
 * journal is not marked done is undone. Every object the journal names gets
 * back the label it had, reached as labelling reaches it; one that is gone,
 * or another in its place, is left alone and named. Every state file gets
 * back its previous content, once the journal says all of them were kept.
 * The journal is then marked undone and the history records it. A change
 * marked done only has its backups settled, which it may not have finished.
 */
namespace ChangeRecovery
{
void recoverInterruptedChange(const MicSystem &system);
}

#endif
