// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "pathset.h"

#include <functional>

PathSet::PathSet(std::vector<std::string> paths)
    : paths(std::move(paths))
{
    // At most half full: a question about a path not in the set meets an
    // empty slot after two or so.
    std::size_t size = 16;
    while (size < 2 * this->paths.size()) {
        size *= 2;
    }
    slots.resize(size);
    for (std::size_t i = 0; i < this->paths.size(); ++i) {
        const std::string_view path = this->paths[i];
        if (contains(path)) {
            continue;
        }
        const std::uint64_t hash = hashOf(path);
        std::size_t slot = slotOf(hash);
        while (slots[slot].index != 0) {
            slot = (slot + 1) & (slots.size() - 1);
        }
        slots[slot] = {std::uint32_t(hash >> 32), std::uint32_t(i + 1)};
    }
}

std::uint64_t PathSet::hashOf(std::string_view path)
{
    return std::hash<std::string_view>()(path);
}

std::size_t PathSet::slotOf(std::uint64_t hash) const
{
    return std::size_t(hash) & (slots.size() - 1);
}

bool PathSet::contains(std::string_view path) const
{
    if (paths.empty()) {
        return false;
    }
    const std::uint64_t hash = hashOf(path);
    const auto fingerprint = std::uint32_t(hash >> 32);
    for (std::size_t slot = slotOf(hash); slots[slot].index != 0; slot = (slot + 1) & (slots.size() - 1)) {
        if (slots[slot].fingerprint == fingerprint && paths[slots[slot].index - 1] == path) {
            return true;
        }
    }
    return false;
}

bool PathSet::empty() const
{
    return paths.empty();
}
