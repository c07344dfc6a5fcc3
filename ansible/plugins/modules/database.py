#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: Velqor Tech
# All rights reserved; licensed to customers of Velqor Tech with the Velqor
# server product (see LICENSE in this collection).
from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

DOCUMENTATION = r'''
---
module: database
short_description: Set the database of the Velqor server product in preferences.cfg
description:
  - Records in a Velqor C(preferences.cfg) which database the server product uses,
    SQLite or Microsoft SQL Server (MSSQL) with a server, a user and a password,
    by running the Velqor Tarnwell Utility (C(tarnwell)) on the managed host.
  - The file is written only when its contents would change; otherwise it keeps
    its inode and times and the task reports ok.
  - The password reaches the tool on its standard input, never on a command line,
    and never appears in the task's result or diff (only whether one is set or changed).
  - Requires a C(tarnwell) with C(--format=json) on the managed host.
author:
  - Velqor Tech (support@velqor.example)
options:
  path:
    description:
      - Absolute path of the preferences file on the managed host.
      - Created when it does not exist (the directory must exist).
    type: path
    required: true
  provider:
    description:
      - The database the server product uses.
      - C(mssql) needs I(server), I(user) and I(password); C(sqlite) takes none of them.
    type: str
    required: true
    choices: [sqlite, mssql]
  server:
    description:
      - With I(provider=mssql), the database server, for example C(DBHOST\SQLEXPRESS).
    type: str
  user:
    description:
      - With I(provider=mssql), the database user name.
    type: str
  password:
    description:
      - With I(provider=mssql), the database user's password, one line without C(;).
      - The tool stores it encrypted; the task reports only whether it changed.
    type: str
  backup:
    description:
      - When the file's contents change, first copy its old contents beside it as
        C(<path>.<UTC YYYYMMDDTHHMMSSZ>~), keeping owner, mode and ACL.
      - No backup is made when nothing changes or the file did not exist.
    type: bool
    default: false
  executable:
    description:
      - The C(tarnwell) program to run, a path or a name looked up on C(PATH).
      - By default C(tarnwell) on C(PATH), then in C(/sbin), C(/usr/sbin) (where the
        Debian package installs it) and C(/usr/local/sbin).
    type: path
extends_documentation_fragment:
  - ansible.builtin.files
  - ansible.builtin.action_common_attributes
attributes:
  check_mode:
    support: full
    details:
      - The tool only compares; nothing is created, written or locked, and file
        attributes are only reported.
  diff_mode:
    support: full
  platform:
    platforms: posix
notes:
  - File attributes (I(mode), I(owner), I(group), SELinux context, I(attributes))
    are applied after the tool has written the file and count as a change.
  - Warns when group or others may read a file that holds a password, which the
    tool stores encrypted but anyone with the program can decrypt.
  - The tool's own options and messages are in its manual page, tarnwell(8).
'''

EXAMPLES = r'''
- name: SQL Server as the database
  velqor.tarnwell.database:
    path: /srv/velqor/preferences.cfg
    provider: mssql
    server: 'DBHOST\SQLEXPRESS'
    user: tarnwell
    password: "{{ vault_db_password }}"
    mode: '0600'
    owner: velqor
    group: velqor
    backup: true

- name: SQLite as the database
  velqor.tarnwell.database:
    path: /srv/velqor/preferences.cfg
    provider: sqlite

- name: What would change, without touching anything
  velqor.tarnwell.database:
    path: /srv/velqor/preferences.cfg
    provider: mssql
    server: DBHOST
    user: tarnwell
    password: "{{ vault_db_password }}"
  check_mode: true
  diff: true
'''

RETURN = r'''
path:
  description: Absolute path of the preferences file.
  returned: always
  type: str
  sample: /srv/velqor/preferences.cfg
backup_file:
  description: The copy of the old contents made with I(backup=true).
  returned: when a backup was made
  type: str
  sample: /srv/velqor/preferences.cfg.20261209T131500Z~
diff:
  description:
    - The settings before and after, one line each (C(Provider), C(Server),
      C(User), and C(Password) as (set), (not set) or (changed)), and any
      file attribute that changed.
  returned: in diff mode
  type: dict
  contains:
    before:
      description: The settings before the run.
      type: str
      sample: "Provider: SQLite\nPassword: (not set)\n"
    after:
      description: The settings after the run.
      type: str
      sample: "Provider: MSSQL\nServer: DBHOST\nUser: tarnwell\nPassword: (set)\n"
    before_header:
      description: The preferences file's path.
      type: str
      sample: /srv/velqor/preferences.cfg
    after_header:
      description: The preferences file's path.
      type: str
      sample: /srv/velqor/preferences.cfg
'''

import json
import os

from ansible.module_utils.basic import AnsibleModule

# The tool's JSON names, in the order they are shown.
SETTINGS = (('provider', 'Provider'), ('server', 'Server'), ('user', 'User'))
ATTRIBUTES = (('secontext', 'SELinux context'), ('owner', 'Owner'), ('group', 'Group'),
              ('mode', 'Mode'), ('attributes', 'Attributes'))


def settings_text(state, attributes):
    lines = []
    for key, label in SETTINGS:
        if state.get(key) is not None:
            lines.append('%s: %s' % (label, state[key]))
    lines.append('Password: (%s)' % state.get('password', 'not set'))
    for key, label in ATTRIBUTES:
        if key in attributes:
            value = attributes[key]
            lines.append('%s: %s' % (label, ':'.join(value) if isinstance(value, list) else value))
    return '\n'.join(lines) + '\n'


def find_tool(module):
    name = module.params['executable'] or 'tarnwell'
    if os.sep in name:
        if os.path.isfile(name) and os.access(name, os.X_OK):
            return name
        module.fail_json(msg='%s is not an executable file' % name)
    found = module.get_bin_path(name)
    if not found:
        module.fail_json(msg='%s not found on PATH nor in /sbin, /usr/sbin, /usr/local/sbin; '
                             'install the tarnwell package or set executable' % name)
    return found


def main():
    module = AnsibleModule(
        argument_spec=dict(
            path=dict(type='path', required=True),
            provider=dict(type='str', required=True, choices=['sqlite', 'mssql']),
            server=dict(type='str'),
            user=dict(type='str'),
            password=dict(type='str', no_log=True),
            backup=dict(type='bool', default=False),
            executable=dict(type='path'),
        ),
        required_if=[('provider', 'mssql', ('server', 'user', 'password'))],
        add_file_common_args=True,
        supports_check_mode=True,
    )
    p = module.params
    path = p['path']
    # A relative path would resolve against whatever directory the module
    # happens to run in, not one the play chose.
    if not os.path.isabs(path):
        module.fail_json(msg='path must be absolute: %s' % path, path=path)
    # required_if counts a key given as null as present.
    missing = [k for k in ('server', 'user', 'password') if p[k] is None]
    if p['provider'] == 'mssql' and missing:
        module.fail_json(msg='provider is mssql but all of the following are missing: %s' % ', '.join(missing),
                         path=path)
    if p['provider'] == 'sqlite':
        given = [k for k in ('server', 'user', 'password') if p[k] is not None]
        if given:
            module.fail_json(msg='%s apply only to provider=mssql' % ', '.join(given), path=path)

    argv = [find_tool(module), '--file=' + path, '--provider=' + p['provider'], '--format=json']
    data = None
    if p['provider'] == 'mssql':
        # The tool takes the first line of its input: anything after a line
        # break would be dropped silently and a different password stored.
        if '\n' in p['password'] or '\r' in p['password']:
            module.fail_json(msg='password must be a single line', path=path)
        argv += ['--server=' + p['server'], '--user=' + p['user'], '--password-stdin']
        data = p['password']
    if module._diff:
        argv.append('--diff')
    if module.check_mode:
        argv.append('--check')
    if p['backup']:
        argv.append('--backup')

    # No expansion of ~ or $NAME: a server or user holding them is meant literally.
    rc, out, err = module.run_command(argv, data=data, expand_user_and_vars=False)
    reason = err.strip()
    if rc != 0:
        module.fail_json(msg=reason or 'tarnwell failed with exit code %d' % rc, rc=rc, path=path)
    try:
        report = json.loads(out)
    except ValueError:
        report = None
    if not isinstance(report, dict) or not isinstance(report.get('changed'), bool):
        # Exit 0 without the report means a tool that does not speak this
        # protocol: it may have written anything, so this is no success.
        module.fail_json(msg='tarnwell exited 0 without a JSON report (does it support --format=json?)',
                         rc=rc, stdout=out, stderr=err, path=path)

    result = dict(changed=report['changed'], path=report.get('file') or path)
    if report.get('backup'):
        result['backup_file'] = report['backup']

    attributes = {}
    file_args = module.load_file_common_arguments(p, path=path)
    if os.path.exists(path) or not module.check_mode:
        result['changed'] = module.set_fs_attributes_if_different(
            file_args, result['changed'], diff=attributes, expand=False)

    # As the tool's --show warns: the stored password is only obfuscated.
    if p['provider'] == 'mssql' and os.path.exists(path) and os.stat(path).st_mode & 0o044:
        module.warn('%s can be read by group or others; whoever reads it can decrypt the password' % path)

    if module._diff and isinstance(report.get('before'), dict) and isinstance(report.get('after'), dict):
        result['diff'] = dict(
            before=settings_text(report['before'], attributes.get('before', {})),
            after=settings_text(report['after'], attributes.get('after', {})),
            before_header=result['path'],
            after_header=result['path'],
        )
    module.exit_json(**result)


if __name__ == '__main__':
    main()
