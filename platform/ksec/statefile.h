// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef KSEC_STATEFILE_H
#define KSEC_STATEFILE_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

/*
 * A small "key = value" text file that a person can read and edit.
 *
 * Blank lines and lines starting with '#' are comments. A key is a word
 * without blanks, control characters or '='; each key appears once. The
 * value is the rest of the line after '=', without the blanks around it.
 * Parsing is strict: any other line makes the whole file invalid, and the
 * error names its line number. Writing back keeps comments and the order of
 * the lines that were not changed.
 */
class StateFile
{
public:
    static std::optional<StateFile> parse(const std::string &text, std::string *error = nullptr);
    static std::optional<StateFile> load(const std::string &path, std::string *error = nullptr);

    const std::string *value(const std::string &key) const;
    // False, changing nothing, for a key or value the file could not be read
    // back with.
    bool setValue(const std::string &key, const std::string &value);
    void remove(const std::string &key);
    std::string serialize() const;

    static bool isValidKey(const std::string &key);
    static bool isValidValue(const std::string &value);

private:
    struct Line {
        std::string text; // the line as written, for comments and untouched entries
        std::string key; // empty for comments
        std::string value;
    };
    Line *find(const std::string &key);
    const Line *find(const std::string &key) const;

    std::vector<Line> lines;
};

#endif
