// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

/*
 * Security-label library: integrity levels of the system and labels of files.
 *
 * Plain C interface. Without the kernel subsystem this implementation reads a
 * simulated state (see ksec_sim.h).
 */
#ifndef KSEC_H
#define KSEC_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ksec_label ksec_label_t;

/* The system's integrity levels in catalogue order. Stores their number in
 * *count and returns an array owned by the library, valid until the next call;
 * returns NULL and leaves *count untouched when no list is available. */
uint32_t *ksec_get_ilevs(int *count);

/* The maximum integrity level of the running system (0 when MIC is off). */
uint32_t ksec_get_max_ilev(void);

/* A newly allocated, NUL-terminated text naming the level in the local 8-bit
 * encoding, or NULL when the level has no text. The caller frees it with
 * free(). `reserved` must be NULL. */
char *ksec_ilev_get_text(uint32_t ilev, const void *reserved);

/* The security label of the file at `path` (UTF-8), or NULL when it has none.
 * Symbolic links are not followed: a link carries a label of its own. */
ksec_label_t *ksec_get_path(const char *path);

/* The integrity level of a label. */
uint32_t ksecl_ilev(const ksec_label_t *label);

/* Releases a label returned by ksec_get_path. */
void ksecl_put(ksec_label_t *label);

#ifdef __cplusplus
}
#endif

#endif
