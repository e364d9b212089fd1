#!/usr/bin/python
# -*- coding: utf-8 -*-
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: mic_state
short_description: Bring a host to a desired state of Mandatory Integrity Control
version_added: 1.0.0
description:
  - Brings the host's MIC settings to a desired state, as C(micctl apply) does, through the same settings service and
    polkit authorization as the system settings page; run it as root (C(become)).
  - The desired state has the keys of the file C(micctl export) writes on a reference machine (see micctl(1)); settings it
    leaves out stay as they are, while C(rules) and C(exceptions), when given, are the whole sets.
  - The host's settings service checks and applies the difference whole, or nothing of it; on failure nothing was applied.
  - It never reboots the host. When a change waits for a reboot it returns C(reboot_required), for
    M(ansible.builtin.reboot) to act on.
  - In check mode the settings service works out what it would do, labels included, and changes nothing.
options:
  desired_state:
    description:
      - The desired state, as a dictionary with the keys of the desired-state file.
      - C(format) and C(version) may be left out.
      - Mutually exclusive with I(src).
    type: dict
  src:
    description:
      - A desired-state file on the controller, as C(micctl export) writes it.
      - Looked for as M(ansible.builtin.copy) looks for its source, in the role's or the playbook's C(files) first, and
        copied to the host for micctl, which reads it there; a large file is not sent as the module's arguments.
      - Mutually exclusive with I(desired_state).
    type: path
  skip_missing:
    description:
      - Leave out, with a warning, the users and services the host does not have, instead of failing the host.
    type: bool
    default: false
  relabelled_limit:
    description:
      - How many of the relabelled objects C(relabelled.objects) lists at most.
    type: int
    default: 100
attributes:
  action:
    support: full
  async:
    support: none
  bypass_host_loop:
    support: none
  check_mode:
    support: full
  diff_mode:
    support: full
  platform:
    platforms: posix
extends_documentation_fragment:
  - ansible.builtin.action_common_attributes
  - lumen.mic.micctl
  - ansible.builtin.action_common_attributes.flow
notes:
  - The settings service refuses what it cannot apply (an unknown user, a level out of range, a damaged state); the task
    then fails with its reason and nothing is changed on the host.
seealso:
  - module: lumen.mic.mic_info
  - module: ansible.builtin.reboot
author:
  - The lumen-kcm-mic developers (!UNKNOWN)
'''

EXAMPLES = r'''
- name: Bring the hosts to the reference machine's state
  lumen.mic.mic_state:
    src: reference.json
  register: mic

- name: Reboot the hosts whose change waits for a reboot
  ansible.builtin.reboot:
  when: mic.reboot_required

- name: Protect the file system and isolate cron, leaving the rest as it is
  lumen.mic.mic_state:
    desired_state:
      fileSystemProtection: true
      serviceIsolation:
        cron.service: true
'''

RETURN = r'''
difference:
  description:
    - What differed between the host and the desired state, one entry for each setting, rule, exception, user or
      service; empty when nothing did.
  returned: always
  type: list
  elements: dict
  contains:
    change:
      description: C(+) added, C(-) removed, C(~) changed.
      type: str
      returned: always
    setting:
      description: The key of the desired-state file.
      type: str
      returned: always
    name:
      description: The rule's or exception's path, the user's or the service's name.
      type: str
      returned: for rules, exceptions, users and services
    before:
      description: The host's value.
      type: raw
      returned: unless added
    after:
      description: The desired value.
      type: raw
      returned: unless removed
    text:
      description: The line C(micctl apply --diff) prints for it.
      type: str
      returned: always
  sample:
    - {change: "+", setting: rules, name: /srv/app, after: "15", text: "+ rule /srv/app: 15"}
relabelled:
  description: The objects whose labels protecting the file system changed, or would change in check mode.
  returned: always
  type: dict
  contains:
    count:
      description: How many in all.
      type: int
      returned: always
    lowered:
      description: How many of them were lowered, so that subjects of lower levels may write them.
      type: int
      returned: always
    objects:
      description: The first of them (at most I(relabelled_limit)), each with C(path), C(from), C(to) and C(container).
      type: list
      elements: dict
      returned: always
  sample: {count: 1, lowered: 0, objects: [{path: /usr/bin, from: 0, to: 63, container: false}]}
change_warnings:
  description: What was left out or applied only in part; shown as the task's warnings too.
  returned: always
  type: list
  elements: str
reboot_required:
  description: Whether a change (this one or an earlier one) waits for a reboot of the host.
  returned: always
  type: bool
'''

import json
import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.lumen.mic.plugins.module_utils.micctl import DONE, WOULD_CHANGE, run_micctl


def desired_state_file(module):
    """The desired state in a file for micctl to read: the one the action copied here, or one of the module's own."""
    if module.params['src'] is not None:
        return module.params['src']
    state = dict(module.params['desired_state'])
    state.setdefault('format', 'lumen-mic-state')
    state.setdefault('version', 1)
    path = os.path.join(module.tmpdir, 'mic-state.json')
    descriptor = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    with os.fdopen(descriptor, 'w') as file:
        json.dump(state, file)
    return path


def shown_value(value):
    return value if isinstance(value, str) else json.dumps(value)


def diff_of(difference):
    """The difference as the host has it and as it is wanted, a line for each setting, for --diff."""
    before = []
    after = []
    for entry in sorted(difference, key=lambda entry: (entry['setting'], entry.get('name', ''))):
        key = entry['setting'] + (' ' + entry['name'] if 'name' in entry else '')
        if entry['change'] == '-' or 'before' in entry:
            before.append(key + ('' if 'before' not in entry else ': ' + shown_value(entry['before'])))
        if entry['change'] == '+' or 'after' in entry:
            after.append(key + ('' if 'after' not in entry else ': ' + shown_value(entry['after'])))
    return {
        'before_header': 'MIC settings of the host',
        'after_header': 'desired state',
        'before': ''.join(line + '\n' for line in before),
        'after': ''.join(line + '\n' for line in after),
    }


def main():
    module = AnsibleModule(
        argument_spec={
            'desired_state': {'type': 'dict'},
            'src': {'type': 'path'},
            'skip_missing': {'type': 'bool', 'default': False},
            'relabelled_limit': {'type': 'int', 'default': 100},
            'micctl': {'type': 'str', 'default': 'micctl'},
        },
        mutually_exclusive=[('desired_state', 'src')],
        required_one_of=[('desired_state', 'src')],
        supports_check_mode=True,
    )
    arguments = ['apply', '--json']
    if module.check_mode:
        arguments.append('--check')
    if module.params['skip_missing']:
        arguments.append('--skip-missing')
    arguments.append(desired_state_file(module))
    status, document, err = run_micctl(module, arguments)

    relabelled = document.get('relabelled', {})
    relabelled['objects'] = relabelled.get('objects', [])[:max(module.params['relabelled_limit'], 0)]
    result = {
        'changed': document.get('changed') is True,
        'difference': document.get('difference', []),
        'relabelled': relabelled,
        'change_warnings': document.get('warnings', []),
        'reboot_required': document.get('rebootRequired', False),
    }
    for warning in result['change_warnings']:
        module.warn(warning)
    if status not in (DONE, WOULD_CHANGE) or document.get('failed', False):
        errors = document.get('errors', [])
        module.fail_json(msg=' '.join(errors) or err.strip() or 'micctl apply failed', rc=status, errors=errors, **result)
    if module._diff and result['changed']:
        result['diff'] = diff_of(result['difference'])
    module.exit_json(**result)


if __name__ == '__main__':
    main()
