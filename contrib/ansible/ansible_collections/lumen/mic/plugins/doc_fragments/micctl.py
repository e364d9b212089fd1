# -*- coding: utf-8 -*-
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

from __future__ import absolute_import, division, print_function
__metaclass__ = type


class ModuleDocFragment(object):
    # The option of every module that runs micctl on the host.
    DOCUMENTATION = r'''
options:
  micctl:
    description:
      - The micctl to run on the host, a path or a name looked up on the host's PATH.
    type: str
    default: micctl
'''
