#ifndef DESIREDSTATE_H
#define DESIREDSTATE_H

#include <QHash>
#include <QStringList>

#include <optional>

/*
 * A desired-state file as written by "micctl export": format
 * "lumen-mic-state", version 1. Every setting is optional; one left out
 * keeps the machine's. Read whole and checked for its form (known keys,
 * types, levels 0..255) before anything is compared; what the paths and
 * level strings mean is the helper's to judge.
 */
struct DesiredState {
    std::optional<bool> micEnabledAfterReboot;
    std::optional<unsigned int> maxLevelAfterReboot;
    std::optional<bool> fileSystemProtection;
    std::optional<QHash<QString, bool>> serviceIsolation;
    std::optional<QHash<QString, unsigned int>> userLevels;
    // Path -> level string, exactly as the configuration is to hold it.
    std::optional<QHash<QString, QString>> rules;
    std::optional<QStringList> exceptions;

    // The first fault of the file in `error`, naming the key.
    static std::optional<DesiredState> fromJson(const QByteArray &json, QString *error);
};

#endif
