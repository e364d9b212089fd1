// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MICCTL_COMMANDLINE_H
#define MICCTL_COMMANDLINE_H

#include <QString>
#include <QStringList>

/*
 * micctl's command line: what it asks for, or why it cannot be run (a usage
 * fault, exit status 64), and the texts of --help and --version. Nothing
 * here talks to the helper, so that a wrong command line never waits for it.
 */

struct ApplyOptions {
    bool check = false;
    bool diff = false;
    bool skipMissing = false;
    bool reboot = false;
    // One JSON document on standard output instead of lines.
    bool json = false;
};

// How the helper's progress is shown on standard error.
enum class ProgressFormat {
    // A line rewritten in place on a terminal; nothing otherwise.
    Terminal,
    // One JSON object a line, for programs that follow micctl.
    JsonLines,
};

struct Invocation {
    enum class Request { Help, Version, Status, Export, Apply, History, Rollback, UsageFault };
    Request request = Request::UsageFault;
    // Export: the file, empty for the standard output. Apply: the file,
    // "-" for the standard input.
    QString file;
    bool json = false;
    // Export: the users at level 0 too.
    bool all = false;
    ApplyOptions apply;
    ProgressFormat progress = ProgressFormat::Terminal;
    // History: how many of the newest changes, all when negative.
    // Rollback: how many applied changes back, 1 the last.
    int count = -1;
    // A usage fault in the administrator's language, with what to do.
    QString fault;
};

// `arguments`: the program's, its name first.
Invocation parseCommandLine(const QStringList &arguments);

QString helpText();
QString versionText();

// Of `candidates`, the one `typed` most likely misspells; empty when none
// comes close.
QString closestName(const QString &typed, const QStringList &candidates);

#endif
