# -*- coding: utf-8 -*-
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
"""Running micctl on a host and reading its JSON, for the modules of this collection."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json

# micctl's exit statuses. A change applied is DONE; WOULD_CHANGE is a check that found something to change
# (an earlier micctl gave it for a change applied too). Whether anything changed is the JSON's "changed".
DONE = 0
FAILED = 1
WOULD_CHANGE = 2
USAGE = 64


def micctl_command(module):
    """The micctl the module was told to run, found on the host's PATH when it is a bare name."""
    micctl = module.params['micctl']
    if '/' in micctl:
        return micctl
    return module.get_bin_path(micctl, required=True)


def run_micctl(module, arguments):
    """Runs micctl with `arguments` and returns its exit status, its JSON document and its standard error.

    Fails the module when micctl printed no JSON document: its standard error then says why.
    """
    command = [micctl_command(module)] + arguments
    status, out, err = module.run_command(command, environ_update={'LC_ALL': 'C.UTF-8', 'LANGUAGE': ''})
    try:
        document = json.loads(out) if out.strip() else None
    except ValueError:
        document = None
    if document is None:
        module.fail_json(msg=err.strip() or 'micctl printed nothing', rc=status, cmd=command, stderr=err)
    return status, document, err
