#! /usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
# Extracts the translatable texts of the module, its helper and the
# command-line client into the template of the "lumen_kcm_mic" domain. Run from the repository root with
# $EXTRACTRC, $XGETTEXT and $podir set, as the KDE translation tooling does;
# po/extract sets them up on a developer machine. The platform stand-ins have
# a domain of their own and are left out.
$EXTRACTRC $(find module levels users expert helper exchange cli -name '*.ui' | sort) >> rc.cpp
$XGETTEXT $(find module levels users expert helper exchange cli \( -name '*.cpp' -o -name '*.h' \) | sort) rc.cpp -o $podir/lumen_kcm_mic.pot
rm -f rc.cpp
# The web console's page: cockpit.gettext as _, in the same template.
xgettext --from-code=UTF-8 --language=JavaScript --join-existing -k_ -kN_ -kcockpit.gettext -kcockpit.ngettext:1,2 \
    $(find web/src \( -name '*.js' -o -name '*.jsx' \) | sort) -o $podir/lumen_kcm_mic.pot
