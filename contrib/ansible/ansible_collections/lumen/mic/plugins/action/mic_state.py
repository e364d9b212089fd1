# -*- coding: utf-8 -*-
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
"""The controller's side of lumen.mic.mic_state: a desired-state file named by src is read here and sent as the state."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json

from ansible.errors import AnsibleActionFail, AnsibleError
from ansible.module_utils.common.text.converters import to_text
from ansible.plugins.action import ActionBase


class ActionModule(ActionBase):

    TRANSFERS_FILES = False

    def run(self, tmp=None, task_vars=None):
        result = super(ActionModule, self).run(tmp, task_vars)
        del tmp
        arguments = dict(self._task.args)
        source = arguments.pop('src', None)
        if source is not None:
            if arguments.get('state') is not None:
                raise AnsibleActionFail('src and state cannot be given together')
            arguments['state'] = self._read_state(source)
        result.update(self._execute_module(module_name='lumen.mic.mic_state', module_args=arguments, task_vars=task_vars))
        return result

    def _read_state(self, source):
        try:
            path = self._find_needle('files', source)
            with open(path, 'rb') as file:
                state = json.loads(to_text(file.read(), errors='surrogate_or_strict'))
        except AnsibleError as error:
            raise AnsibleActionFail(to_text(error))
        except (OSError, ValueError) as error:
            raise AnsibleActionFail('%s is not a desired-state file: %s' % (source, to_text(error)))
        if not isinstance(state, dict):
            raise AnsibleActionFail('%s is not a desired-state file: it must hold one JSON object' % source)
        return state
