#!/usr/bin/python
# -*- coding: utf-8 -*-
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: mic_info
short_description: Read the Mandatory Integrity Control state of a host
version_added: 1.0.0
description:
  - Returns what C(micctl status --json) says of the host, as data for conditions and reports.
  - Changes nothing, in any mode.
  - micctl asks the host's settings service, which polkit authorizes; run it as root (C(become)).
options: {}
attributes:
  check_mode:
    support: full
  diff_mode:
    support: none
  platform:
    platforms: posix
extends_documentation_fragment:
  - ansible.builtin.action_common_attributes
  - lumen.mic.micctl
author:
  - The lumen-kcm-mic developers (!UNKNOWN)
'''

EXAMPLES = r'''
- name: Read the MIC state
  lumen.mic.mic_info:
  register: mic

- name: Say which hosts wait for a reboot
  ansible.builtin.debug:
    msg: "MIC changes wait for a reboot"
  when: mic.status.rebootPending
'''

RETURN = r'''
status:
  description:
    - The host's state, with the keys of C(micctl status --json) (see micctl(1)).
  returned: success
  type: dict
  contains:
    mic:
      description: MIC now and after the next boot, C(enabled) or C(disabled).
      type: dict
      returned: success
    maxLevelNow:
      description: The maximum integrity level now.
      type: int
      returned: success
    maxLevelAfterReboot:
      description: The maximum integrity level from the next boot.
      type: int
      returned: success
    rebootPending:
      description: Whether a change waits for a reboot.
      type: bool
      returned: success
    fileSystem:
      description: The protection (C(protected), C(partly) or C(off)) and the objects below their configured level.
      type: dict
      returned: success
    services:
      description: The isolation of services (C(all), C(some) or C(none)) and of each service.
      type: dict
      returned: success
    userLevels:
      description: Each user's maximal level.
      type: dict
      returned: success
    rules:
      description: How many rules the file-system configuration holds.
      type: int
      returned: success
    exceptions:
      description: How many exceptions it holds.
      type: int
      returned: success
  sample:
    mic: {now: enabled, afterReboot: enabled}
    maxLevelNow: 63
    maxLevelAfterReboot: 63
    rebootPending: false
    fileSystem: {protection: protected, unprotected: []}
    services: {isolation: all, isolated: {cron.service: true}}
    userLevels: {alice: 15}
    rules: 120
    exceptions: 3
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.lumen.mic.plugins.module_utils.micctl import DONE, run_micctl


def main():
    module = AnsibleModule(argument_spec={'micctl': {'type': 'str', 'default': 'micctl'}}, supports_check_mode=True)
    status, document, err = run_micctl(module, ['status', '--json'])
    if status != DONE:
        module.fail_json(msg=err.strip() or 'micctl status failed', rc=status)
    module.exit_json(changed=False, status=document)


if __name__ == '__main__':
    main()
