# -*- coding: utf-8 -*-
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
"""The controller's side of lumen.mic.mic_state: a desired-state file named by src is found here and copied to the
host, where micctl reads it; a state of a million rules never travels as the module's arguments."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

from ansible.errors import AnsibleActionFail, AnsibleError
from ansible.module_utils.common.text.converters import to_text
from ansible.plugins.action import ActionBase


class ActionModule(ActionBase):

    TRANSFERS_FILES = True

    def run(self, tmp=None, task_vars=None):
        result = super(ActionModule, self).run(tmp, task_vars)
        del tmp
        arguments = dict(self._task.args)
        try:
            if arguments.get('src') is not None:
                arguments['src'] = self._copy_to_host(arguments)
            result.update(self._execute_module(module_name='lumen.mic.mic_state', module_args=arguments, task_vars=task_vars))
        finally:
            self._remove_tmp_path(self._connection._shell.tmpdir)
        return result

    def _copy_to_host(self, arguments):
        """The path on the host of the desired-state file named by src."""
        if arguments.get('desired_state') is not None:
            raise AnsibleActionFail('src and desired_state cannot be given together')
        try:
            local = self._find_needle('files', arguments['src'])
        except AnsibleError as error:
            raise AnsibleActionFail(to_text(error))
        remote = self._connection._shell.join_path(self._connection._shell.tmpdir, 'mic-state.json')
        self._transfer_file(local, remote)
        self._fixup_perms2((self._connection._shell.tmpdir, remote))
        return remote
