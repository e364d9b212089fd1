// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef PATHSET_H
#define PATHSET_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A set of paths asked about a million times in a check: one flat table of
// slots holding a part of each path's hash and its place in the list, so
// that most questions touch one slot and no path.
class PathSet
{
public:
    PathSet() = default;
    explicit PathSet(std::vector<std::string> paths);
    bool contains(std::string_view path) const;
    bool empty() const;

private:
    struct Slot {
        std::uint32_t fingerprint = 0;
        // The place in `paths` plus one; 0 for an empty slot.
        std::uint32_t index = 0;
    };
    static std::uint64_t hashOf(std::string_view path);
    std::size_t slotOf(std::uint64_t hash) const;

    std::vector<std::string> paths;
    std::vector<Slot> slots;
};

#endif
