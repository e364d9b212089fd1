// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "statefile.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace
{
const char *const blanks = " \t";

std::string trimmed(const std::string &s)
{
    const auto first = s.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    const auto last = s.find_last_not_of(blanks);
    return s.substr(first, last - first + 1);
}

bool isKeyChar(unsigned char c)
{
    return c > ' ' && c != '=' && c != 0x7f;
}
}

bool StateFile::isValidKey(const std::string &key)
{
    return !key.empty() && key[0] != '#' && std::all_of(key.begin(), key.end(), [](char c) {
        return isKeyChar(static_cast<unsigned char>(c));
    });
}

bool StateFile::isValidValue(const std::string &value)
{
    // A value must survive a round trip: one line, no blanks at its ends.
    return value.find_first_of("\n\r") == std::string::npos && value.find('\0') == std::string::npos && trimmed(value) == value;
}

std::optional<StateFile> StateFile::parse(const std::string &text, std::string *error)
{
    StateFile file;
    std::istringstream in(text);
    std::string raw;
    int lineNumber = 0;
    const auto fail = [&](const std::string &why) -> std::optional<StateFile> {
        if (error) {
            *error = "line " + std::to_string(lineNumber) + ": " + why;
        }
        return std::nullopt;
    };
    while (std::getline(in, raw)) {
        ++lineNumber;
        if (raw.find('\0') != std::string::npos || raw.find('\r') != std::string::npos) {
            return fail("control character in line");
        }
        const std::string content = trimmed(raw);
        if (content.empty() || content[0] == '#') {
            file.lines.push_back({raw, {}, {}});
            continue;
        }
        const auto eq = content.find('=');
        if (eq == std::string::npos) {
            return fail("expected \"key = value\"");
        }
        const std::string key = trimmed(content.substr(0, eq));
        if (!isValidKey(key)) {
            return fail("invalid key \"" + key + "\"");
        }
        if (file.find(key)) {
            return fail("duplicate key \"" + key + "\"");
        }
        file.lines.push_back({raw, key, trimmed(content.substr(eq + 1))});
    }
    return file;
}

std::optional<StateFile> StateFile::load(const std::string &path, std::string *error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) {
            *error = "cannot open " + path;
        }
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        if (error) {
            *error = "cannot read " + path;
        }
        return std::nullopt;
    }
    return parse(content.str(), error);
}

StateFile::Line *StateFile::find(const std::string &key)
{
    const auto it = std::find_if(lines.begin(), lines.end(), [&](const Line &l) {
        return l.key == key;
    });
    return it == lines.end() ? nullptr : &*it;
}

const StateFile::Line *StateFile::find(const std::string &key) const
{
    return const_cast<StateFile *>(this)->find(key);
}

const std::string *StateFile::value(const std::string &key) const
{
    const Line *line = find(key);
    return line ? &line->value : nullptr;
}

bool StateFile::setValue(const std::string &key, const std::string &value)
{
    if (!isValidKey(key) || !isValidValue(value)) {
        return false;
    }
    const std::string text = value.empty() ? key + " =" : key + " = " + value;
    if (Line *line = find(key)) {
        if (line->value != value) {
            *line = {text, key, value};
        }
        return true;
    }
    lines.push_back({text, key, value});
    return true;
}

void StateFile::remove(const std::string &key)
{
    lines.erase(std::remove_if(lines.begin(), lines.end(), [&](const Line &l) {
                    return l.key == key;
                }),
                lines.end());
}

std::string StateFile::serialize() const
{
    std::string out;
    for (const Line &line : lines) {
        out += line.text;
        out += '\n';
    }
    return out;
}
