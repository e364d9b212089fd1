// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef MIC_CATALOGUE_H
#define MIC_CATALOGUE_H

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>
#include <optional>

namespace Mic::Texts
{
/*
 * A gettext catalogue (.mo) read whole: its translations by their message
 * (a message with a context is "context\x04message", as gettext keys it),
 * and its plural rule (the header's Plural-Forms, a C expression of n).
 */
class Catalogue
{
public:
    // Nothing for a file that is not a catalogue, or larger than any of
    // ours could be.
    static std::shared_ptr<const Catalogue> read(const QString &file);
    static std::shared_ptr<const Catalogue> fromBytes(const QByteArray &bytes);

    std::optional<QString> translation(const QByteArray &message) const;
    std::optional<QString> pluralTranslation(const QByteArray &message, qulonglong number) const;

    // Which plural form a rule gives `number`; nothing for a rule that does
    // not parse. Public for its tests.
    static std::optional<qulonglong> pluralForm(const QByteArray &rule, qulonglong number);

private:
    // The forms of each message, separated by NUL as in the file.
    QHash<QByteArray, QByteArray> translations;
    QByteArray pluralRule = "n != 1";
    qulonglong formCount = 2;
};
}

#endif
