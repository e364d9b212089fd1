// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

/*
 * Where the simulated MIC system keeps its state. Shared by the label library
 * (which only reads) and the privileged helper (which writes).
 *
 * All state lives below a state root: "/" on a real system, or the directory
 * named by the environment variable MIC_STATE_ROOT (tests and the demo).
 *
 *   <root>/var/lib/kestrel/mic.state   key = value lines, see StateFile
 *
 * Keys read by the library:
 *   levels           the level catalogue, decimal values separated by blanks
 *   level.<N>        the text of level N ("level.5 =" gives an empty text;
 *                    a level without the key has no text)
 *   max-ilev         the maximum integrity level of the running system
 *
 * A file's label is the extended attribute "security.kestrel.ilev" of the file
 * itself (never of a symlink's target), holding the level in decimal.
 */
#ifndef KSEC_SIM_H
#define KSEC_SIM_H

#define KSEC_STATE_ROOT_ENV "MIC_STATE_ROOT"
#define KSEC_STATE_FILE "var/lib/kestrel/mic.state"
#define KSEC_LABEL_XATTR "security.kestrel.ilev"

#define KSEC_KEY_LEVELS "levels"
#define KSEC_KEY_LEVEL_TEXT_PREFIX "level."
#define KSEC_KEY_MAX_ILEV "max-ilev"

#ifdef __cplusplus
extern "C" {
#endif
/* How often the level catalogue was asked for, for benchmarks. */
unsigned long ksec_sim_catalogue_reads(void);
/* How often a file's label was asked for, for benchmarks. */
unsigned long ksec_sim_label_reads(void);
#ifdef __cplusplus
}
#endif

#endif
