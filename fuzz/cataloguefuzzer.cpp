// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

// Feeds arbitrary bytes to the reader of gettext catalogues, which the
// helper and micctl use for every text they show, and to its evaluator of
// plural rules. A catalogue that reads gives a translation or none for any
// message, and a form below its count for any number; a rule that parses
// gives a form for any number, and a rule nested deeper than the evaluator
// allows does not parse rather than overflow the stack.
#include "fuzzcheck.h"

#include <catalogue.h>

#include <QDir>
#include <QFile>

#include <limits>

using Mic::Texts::Catalogue;

namespace
{
const qulonglong numbers[] = {0, 1, 2, 5, 11, 21, 101, 1000000, std::numeric_limits<qulonglong>::max()};

void readCatalogue(const QByteArray &bytes)
{
    const auto catalogue = Catalogue::fromBytes(bytes);
    if (!catalogue) {
        return;
    }
    // Messages of the file and others: the bytes at a few places, and the
    // catalogue's header.
    const QByteArray messages[] = {QByteArray(), bytes.left(8), bytes.mid(28, 16), bytes.right(12), QByteArrayLiteral("Stopped: nothing was changed.")};
    for (const QByteArray &message : messages) {
        const auto translation = catalogue->translation(message);
        FuzzCheck::require(!translation || translation->size() <= bytes.size(), "a translation longer than its file");
        for (qulonglong number : numbers) {
            catalogue->pluralTranslation(message, number);
        }
    }
}

void evaluateRule(const QByteArray &rule)
{
    for (qulonglong number : numbers) {
        Catalogue::pluralForm(rule, number);
    }
}

// A catalogue of two messages, one with plural forms and the header's rule.
QByteArray sampleCatalogue(const QByteArray &rule)
{
    const QByteArray header = "Content-Type: text/plain; charset=UTF-8\nPlural-Forms: nplurals=3; plural=" + rule + ";\n";
    const QList<QPair<QByteArray, QByteArray>> entries{{QByteArray(), header},
                                                      {QByteArrayLiteral("%1 object\0%1 objects"), QByteArrayLiteral("%1 Objekt\0%1 Objekte\0%1 Objekten")},
                                                      {QByteArrayLiteral("Stopped"), QByteArrayLiteral("Angehalten")}};
    QByteArray file(28 + entries.size() * 16, '\0');
    auto put = [&file](int at, quint32 value) {
        for (int i = 0; i < 4; ++i) {
            file[at + i] = char((value >> (8 * i)) & 0xff);
        }
    };
    put(0, 0x950412de);
    put(8, quint32(entries.size()));
    put(12, 28);
    put(16, quint32(28 + entries.size() * 8));
    for (int i = 0; i < entries.size(); ++i) {
        put(28 + i * 8, quint32(entries[i].first.size()));
        put(28 + i * 8 + 4, quint32(file.size()));
        file += entries[i].first + '\0';
    }
    for (int i = 0; i < entries.size(); ++i) {
        put(28 + entries.size() * 8 + i * 8, quint32(entries[i].second.size()));
        put(28 + entries.size() * 8 + i * 8 + 4, quint32(file.size()));
        file += entries[i].second + '\0';
    }
    return file;
}

void writeSeeds(const QString &folder)
{
    QDir().mkpath(folder);
    const QByteArray rules[] = {"n != 1", "(n==1 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2)", "n>1", "0"};
    int i = 0;
    for (const QByteArray &rule : rules) {
        QFile file(QStringLiteral("%1/catalogue-%2").arg(folder).arg(++i));
        if (file.open(QIODevice::WriteOnly)) {
            file.write('C' + sampleCatalogue(rule));
        }
        QFile ruleFile(QStringLiteral("%1/rule-%2").arg(folder).arg(i));
        if (ruleFile.open(QIODevice::WriteOnly)) {
            ruleFile.write('R' + rule);
        }
    }
}
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzCheck::writeSeedsIfAsked(*argc, *argv, writeSeeds);
    return 0;
}

// The first byte chooses: a rule ('R'), or a catalogue.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 1, int(size - 1));
    if (data[0] == 'R') {
        evaluateRule(bytes);
    } else {
        readCatalogue(bytes);
    }
    return 0;
}
