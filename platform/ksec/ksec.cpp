// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#include "ksec.h"
#include "ksec_sim.h"
#include "statefile.h"

#include <sys/stat.h>
#include <sys/xattr.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct ksec_label {
    uint32_t ilev;
};

namespace
{
std::string stateFilePath()
{
    const char *root = std::getenv(KSEC_STATE_ROOT_ENV);
    std::string path = (root && *root) ? root : "/";
    if (path.back() != '/') {
        path += '/';
    }
    return path + KSEC_STATE_FILE;
}

std::optional<uint32_t> parseLevel(const std::string &text)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
    if (value > UINT32_MAX) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

std::optional<std::vector<uint32_t>> parseLevelList(const std::string &text)
{
    std::vector<uint32_t> levels;
    size_t pos = 0;
    while ((pos = text.find_first_not_of(" \t", pos)) != std::string::npos) {
        const size_t end = text.find_first_of(" \t", pos);
        const auto level = parseLevel(text.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        if (!level) {
            return std::nullopt;
        }
        levels.push_back(*level);
        pos = end;
    }
    return levels;
}

/*
 * The parsed state file, read again whenever the file changes. A file that is
 * missing, unreadable or malformed counts as no state at all.
 */
class State
{
public:
    static State &instance()
    {
        static State state;
        return state;
    }

    std::mutex mutex;

    void refresh()
    {
        const std::string path = stateFilePath();
        struct stat st {
        };
        if (::stat(path.c_str(), &st) != 0) {
            forget();
            return;
        }
        if (path == cachedPath && st.st_ino == cachedStat.st_ino && st.st_dev == cachedStat.st_dev && st.st_size == cachedStat.st_size
            && st.st_mtim.tv_sec == cachedStat.st_mtim.tv_sec && st.st_mtim.tv_nsec == cachedStat.st_mtim.tv_nsec) {
            return;
        }
        forget();
        cachedPath = path;
        cachedStat = st;
        file = StateFile::load(path);
        if (!file) {
            return;
        }
        if (const std::string *list = file->value(KSEC_KEY_LEVELS)) {
            levels = parseLevelList(*list);
            if (!levels) {
                file.reset(); // a malformed catalogue makes the whole state unusable
            }
        }
    }

    std::optional<StateFile> file;
    std::optional<std::vector<uint32_t>> levels;

private:
    void forget()
    {
        cachedPath.clear();
        cachedStat = {};
        file.reset();
        levels.reset();
    }

    std::string cachedPath;
    struct stat cachedStat {
    };
};
}

namespace
{
std::atomic<unsigned long> catalogueReads{0};
std::atomic<unsigned long> labelReads{0};
}

extern "C" {

unsigned long ksec_sim_catalogue_reads(void)
{
    return catalogueReads.load();
}

unsigned long ksec_sim_label_reads(void)
{
    return labelReads.load();
}

uint32_t *ksec_get_ilevs(int *count)
{
    ++catalogueReads;
    State &state = State::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.refresh();
    if (!state.file || !state.levels) {
        return nullptr;
    }
    if (count) {
        *count = static_cast<int>(state.levels->size());
    }
    // A non-null pointer even for an empty list: the list exists but is empty.
    static uint32_t empty = 0;
    return state.levels->empty() ? &empty : state.levels->data();
}

uint32_t ksec_get_max_ilev(void)
{
    State &state = State::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.refresh();
    if (!state.file) {
        return 0;
    }
    const std::string *text = state.file->value(KSEC_KEY_MAX_ILEV);
    const auto level = text ? parseLevel(*text) : std::nullopt;
    return level.value_or(0);
}

char *ksec_ilev_get_text(uint32_t ilev, const void *reserved)
{
    (void)reserved;
    State &state = State::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.refresh();
    if (!state.file) {
        return nullptr;
    }
    const std::string *text = state.file->value(KSEC_KEY_LEVEL_TEXT_PREFIX + std::to_string(ilev));
    return text ? strdup(text->c_str()) : nullptr;
}

ksec_label_t *ksec_get_path(const char *path)
{
    ++labelReads;
    if (!path) {
        return nullptr;
    }
    char buffer[16];
    const ssize_t size = ::lgetxattr(path, KSEC_LABEL_XATTR, buffer, sizeof(buffer) - 1);
    if (size <= 0) {
        return nullptr;
    }
    buffer[size] = '\0';
    const auto level = parseLevel(buffer);
    if (!level) {
        return nullptr;
    }
    auto *label = static_cast<ksec_label_t *>(std::malloc(sizeof(ksec_label_t)));
    if (label) {
        label->ilev = *level;
    }
    return label;
}

uint32_t ksecl_ilev(const ksec_label_t *label)
{
    return label ? label->ilev : 0;
}

void ksecl_put(ksec_label_t *label)
{
    std::free(label);
}
}
