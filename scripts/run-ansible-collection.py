#!/usr/bin/env python3
"""Builds and installs the Ansible collection velqor.tarnwell (ansible/) in a
temporary directory, drives its module velqor.tarnwell.database with Debian's
ansible-core against this machine (inventory "localhost,", connection local,
no facts, no network where a namespace can be had) with the tarnwell program
given, runs examples/tarnwell-database.yml, then ansible-test sanity.

Usage: run-ansible-collection.py TARNWELL_PROGRAM
Exit 77 (a skip for ctest) only where ansible-playbook is not installed.
"""
import glob
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PASSWORD = 'Qx7-tarn-secret'  # distinctive, so a leak shows in a plain search
SERVER = r'DBHOST\SQLEXPRESS'
USER = 'tarnwell$HOME'  # proves nothing expands it on the way to the tool


class Failed(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failed(what)


def identity(path):
    st = os.stat(path)
    return (st.st_ino, st.st_size, st.st_mtime_ns, st.st_ctime_ns)


def mode_of(path):
    return os.stat(path).st_mode & 0o7777


def read(path):
    with open(path, 'rb') as f:
        return f.read()


class Bench:
    def __init__(self, program, work):
        self.program, self.work = program, work
        self.srv = os.path.join(work, 'srv')
        self.file = os.path.join(self.srv, 'preferences.cfg')
        self.argv_log = os.path.join(work, 'argv.log')
        # Ansible's own files in the temporary directory, no configuration
        # or collection of this host's, a locale Ansible accepts.
        self.env = {k: v for k, v in os.environ.items() if not k.startswith('ANSIBLE_')}
        self.env.update(HOME=f'{work}/home', ANSIBLE_HOME=f'{work}/ansible', ANSIBLE_CONFIG=f'{work}/ansible.cfg',
                        ANSIBLE_LOCAL_TEMP=f'{work}/tmp-local', ANSIBLE_REMOTE_TEMP=f'{work}/tmp-remote',
                        ANSIBLE_COLLECTIONS_PATH=f'{work}/collections', ANSIBLE_RETRY_FILES_ENABLED='0',
                        ANSIBLE_NOCOLOR='1', ANSIBLE_STDOUT_CALLBACK='default', ANSIBLE_LOAD_CALLBACK_PLUGINS='0',
                        ANSIBLE_DEPRECATION_WARNINGS='0', LC_ALL='C.UTF-8', LANG='C.UTF-8')
        os.makedirs(self.srv)
        os.makedirs(self.env['HOME'])
        open(self.env['ANSIBLE_CONFIG'], 'w').close()
        self.isolated = []
        if subprocess.run(['unshare', '--net', 'true'], stderr=subprocess.DEVNULL).returncode == 0:
            self.isolated = ['unshare', '--net']
            print('The plays run without any network (unshare --net).', file=sys.stderr)
        # The tool behind a wrapper that records its arguments, where the
        # password must never be.
        self.logged = f'{work}/tarnwell-logged'
        with open(self.logged, 'w') as f:
            f.write(f'#!/bin/sh\nprintf "%s\\n" "$@" >>{shlex.quote(self.argv_log)}\n'
                    f'exec {shlex.quote(program)} "$@"\n')
        os.chmod(self.logged, 0o755)

    def run(self, argv, env=None, cwd=None):
        return subprocess.run(argv, env=env or self.env, cwd=cwd or self.work, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, universal_newlines=True)

    def playbook(self, book, extra, env=None):
        done = self.run(self.isolated + ['ansible-playbook', '-i', 'localhost,', '-c', 'local', '-e',
                                         'ansible_python_interpreter=' + sys.executable, book] + extra, env)
        check(done.returncode == 0, f'{book}: ansible-playbook exited {done.returncode}\n{done.stdout}')
        line = re.search(r'^localhost +: (ok=.*)$', done.stdout, re.M)
        check(line, 'no recap line in\n' + done.stdout)
        return {k: int(v) for k, v in re.findall(r'(\w+)=(\d+)', line.group(1))}, done.stdout

    def play(self, name, tasks, check_mode=False, verbose=False):
        """One play, a task of the module for each argument dict; returns the
        recap counts, the output and the registered results."""
        saved, book = f'{self.work}/result-{name}.json', f'{self.work}/play-{name}.yml'
        steps = [{'velqor.tarnwell.database': args, 'register': f'r{i}', 'ignore_errors': True}
                 for i, args in enumerate(tasks)]
        steps.append({'check_mode': False, 'diff': False, 'changed_when': False, 'ansible.builtin.copy': {
            'dest': saved, 'content': '{{ [%s] | to_json }}' % ', '.join(f'r{i}' for i in range(len(tasks)))}})
        with open(book, 'w') as f:
            json.dump([{'hosts': 'localhost', 'gather_facts': False, 'tasks': steps}], f)
        counts, out = self.playbook(book, ['--diff'] + ['--check'] * check_mode + ['-vvv'] * verbose)
        with open(saved) as f:
            return counts, out, json.load(f)

    def show(self, path=None):
        done = subprocess.run([self.program, '--file=' + (path or self.file), '--show', '--format=json'], check=True,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, universal_newlines=True)
        return json.loads(done.stdout)

    def mssql(self, **over):
        return dict(dict(path=self.file, provider='mssql', server=SERVER, user=USER, password=PASSWORD,
                         executable=self.logged), **over)


def build_and_document(b):
    with open(f'{ROOT}/CMakeLists.txt') as f:
        project = re.search(r'project\(tarnwell VERSION ([0-9.]+)', f.read()).group(1)
    with open(f'{ROOT}/ansible/galaxy.yml') as f:
        version = re.search(r'^version: *(\S+)', f.read(), re.M).group(1)
    check((project + '.0.0').split('.')[:3] == version.split('.'), f'galaxy.yml has {version}, CMake {project}')
    archive = f'{b.work}/velqor-tarnwell-{version}.tar.gz'
    for argv in (['ansible-galaxy', 'collection', 'build', f'{ROOT}/ansible', '--output-path', b.work],
                 ['ansible-galaxy', 'collection', 'install', archive, '-p', b.env['ANSIBLE_COLLECTIONS_PATH']],
                 ['ansible-doc', 'velqor.tarnwell.database']):
        done = b.run(argv)
        check(done.returncode == 0, f'{argv} failed\n{done.stdout}')
    for needed in ('= path', '= provider', '- server', '- user', '- password', '- backup', '- executable', '- mode',
                   '- owner', 'check_mode:', 'EXAMPLES:', 'velqor.tarnwell.database:', 'RETURN VALUES:',
                   '- backup_file', '- diff', 'before_header'):
        check(needed in done.stdout, f'ansible-doc does not show {needed!r}\n{done.stdout}')
    print(f'collection {version} built, installed and documented', file=sys.stderr)


def module_runs(b):
    # Check mode on a missing file: a change foreseen, nothing made.
    counts, out, [r] = b.play('check-new', [b.mssql(mode='0640')], check_mode=True, verbose=True)
    check(counts['changed'] == 1 and os.listdir(b.srv) == [], f'check on a new file: {counts}, {os.listdir(b.srv)}')
    check(f'Server: {SERVER}' in r['diff']['after'] and 'Password: (set)' in r['diff']['after'], r)
    check(f'Server: {SERVER}' in out and PASSWORD not in out, 'diff not shown, or the password shown')
    check('--check' in read(b.argv_log).decode().split('\n'), 'the tool was not run with --check')

    # The real run: written, the mode applied, nothing expanded on the way.
    counts, out, [r] = b.play('first', [b.mssql(mode='0640')])
    check(counts['changed'] == 1 and mode_of(b.file) == 0o640, f'first run: {counts}, mode {mode_of(b.file):o}')
    stored = b.show()
    check([stored[k] for k in ('provider', 'server', 'user', 'password')] == ['MSSQL', SERVER, USER, 'set'], stored)
    check('backup_file' not in r and 'read by group or others' in ' '.join(r.get('warnings', [])), r)

    # Unchanged, real and in check mode: ok, the file and its folder untouched (no backup either).
    before, old, listing = identity(b.file), read(b.file), sorted(os.listdir(b.srv))
    time.sleep(1.1)  # a rewrite would show in the times even on a coarse clock
    for check_mode in (False, True):
        counts, out, [r] = b.play(f'again-{check_mode}', [b.mssql(mode='0640', backup=True)], check_mode=check_mode)
        check(counts['changed'] == 0 and identity(b.file) == before and sorted(os.listdir(b.srv)) == listing,
              f'second run (check {check_mode}): {counts}, {os.listdir(b.srv)}')

    # Only the mode differs: a change, only foreseen in check mode, the content kept.
    for check_mode, mode in ((True, 0o640), (False, 0o600)):
        counts, out, [r] = b.play(f'mode-{check_mode}', [b.mssql(mode='0600')], check_mode=check_mode)
        check(r['changed'] and mode_of(b.file) == mode and identity(b.file)[0] == before[0] and read(b.file) == old,
              f'mode 0600 (check {check_mode}): {r}')
        check('Mode: 0640' in r['diff']['before'] and 'Mode: 0600' in r['diff']['after'], r)

    # A change with a backup of the old contents, then a new password.
    counts, out, [r] = b.play('backup', [b.mssql(server='OTHERHOST', backup=True)])
    check(r['changed'] and read(r['backup_file']) == old and b.show()['server'] == 'OTHERHOST', r)
    check(f'Server: {SERVER}' in r['diff']['before'] and 'Server: OTHERHOST' in r['diff']['after'], r)
    counts, out, [r] = b.play('password', [b.mssql(server='OTHERHOST', password=PASSWORD + '2')], verbose=True)
    check(r['changed'] and 'Password: (changed)' in r['diff']['after'] and 'Password: (changed)' in out, r)
    check(PASSWORD not in out, 'the password shows at -vvv')

    # Refusals: each fails with its reason and leaves the file as it was.
    before = identity(b.file)
    refused = [(b.mssql(password=PASSWORD + ';x'), '; is not allowed in a password'),
               (b.mssql(password=PASSWORD + '\nx'), 'single line'),
               (b.mssql(password=None), 'missing: password'),
               (dict(path=b.file, provider='sqlite', server=SERVER, executable=b.logged), 'server apply only'),
               (b.mssql(path='srv/preferences.cfg'), 'must be absolute'),
               (b.mssql(executable=f'{b.work}/missing'), 'not an executable file')]
    counts, out, results = b.play('refused', [args for args, _ in refused], verbose=True)
    for (args, reason), r in zip(refused, results):
        check(r.get('failed') and reason in r.get('msg', ''), f'expected {reason!r}, got {r}')
    check(counts['ignored'] == len(refused) and identity(b.file) == before, f'{counts}: the file touched')
    check(PASSWORD not in out + json.dumps(results) + read(b.argv_log).decode(),
          'the password shows, or was an argument')
    print('module: check, write, mode, unchanged, backup, password change and refusals as expected', file=sys.stderr)


def example(b):
    # The example finds tarnwell on PATH, as on a host with the package.
    os.makedirs(f'{b.work}/path')
    os.symlink(b.program, f'{b.work}/path/tarnwell')
    env = dict(b.env, PATH=f'{b.work}/path' + os.pathsep + b.env.get('PATH', ''))
    mssql = {'db_server': SERVER, 'db_user': 'tarnwell', 'db_password': PASSWORD, 'db_provider': 'mssql'}
    for i, (settings, changed) in enumerate([(mssql, 1), (mssql, 0), ({'db_provider': 'sqlite'}, 1)]):
        with open(f'{b.work}/example-{i}.json', 'w') as f:
            json.dump(dict(settings, preferences_file=f'{b.srv}/example.cfg'), f)
        counts, out = b.playbook(f'{ROOT}/examples/tarnwell-database.yml', ['-e', f'@{b.work}/example-{i}.json'], env)
        check(counts['changed'] == changed and counts['failed'] == 0 and PASSWORD not in out, f'example {i}: {counts}')
    check(b.show(f'{b.srv}/example.cfg')['provider'] == 'SQLite', 'the example did not set SQLite')
    print('example playbook: changed, ok, changed', file=sys.stderr)


def sanity(b):
    """ansible-test sanity pip-installs pinned tools into a virtual environment
    for each test, which needs the network; offline, each environment it asks
    for is made instead from Debian's python3 and packages, and the run
    repeated."""
    python = '/usr/bin/python3'
    if subprocess.run([python, '-c', 'import voluptuous, pycodestyle, pylint, yamllint'],
                      stderr=subprocess.DEVNULL).returncode != 0:
        print('ansible-test sanity NOT RUN: it needs the Debian packages python3-voluptuous, pycodestyle, pylint '
              'and yamllint', file=sys.stderr)
        return
    root = f'{b.work}/sanity/ansible_collections/velqor/tarnwell'
    shutil.copytree(f'{ROOT}/ansible', root)
    # validate-modules takes only a GitHub handle for an author, which Velqor
    # has not; the rest of the documentation is checked as it is.
    module = f'{root}/plugins/modules/database.py'
    text = read(module).decode().replace('- Velqor Tech (support@velqor.example)', '- Velqor Tech (@velqor)')
    with open(module, 'w') as f:
        f.write(text)
    version = subprocess.check_output([python, '-c', 'import sys; print("%d.%d" % sys.version_info[:2])'],
                                      universal_newlines=True).strip()
    env = {k: v for k, v in b.env.items() if k != 'ANSIBLE_COLLECTIONS_PATH'}
    for _ in range(16):
        done = b.run(b.isolated + ['ansible-test', 'sanity', '--python', version, '--python-interpreter', python],
                     env, root)
        # ansible-test's cache: <label>/<python>/<hash>/, taken as made once marker.txt is there.
        fresh = [d for d in glob.glob(f'{env["HOME"]}/.ansible/test/venv/*/*/*')
                 if not os.path.exists(d + '/marker.txt')]
        if done.returncode == 0 or not fresh:
            break
        for d in fresh:
            shutil.rmtree(d)
            subprocess.run([python, '-m', 'venv', '--system-site-packages', '--without-pip', d], check=True)
            with open(d + '/meta.yaml.json', 'w') as f:
                f.write('true')
            open(d + '/marker.txt', 'w').close()
    ran = re.findall(r'^Running sanity test "([^"]+)"', done.stdout, re.M)
    check(done.returncode == 0 and {'validate-modules', 'pylint', 'pep8'} <= set(ran), f'sanity:\n{done.stdout}')
    print('ansible-test sanity passed: ' + ' '.join(ran), file=sys.stderr)


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: run-ansible-collection.py TARNWELL_PROGRAM')
    if not shutil.which('ansible-playbook'):
        print('SKIP: ansible-playbook is not installed (Debian package ansible-core; '
              'scripts/install-deps.sh installs it)', file=sys.stderr)
        return 77
    work = tempfile.mkdtemp(prefix='tarnwell-ansible.')
    try:
        os.chmod(work, 0o700)
        bench = Bench(os.path.realpath(sys.argv[1]), work)
        for step in (build_and_document, module_runs, example, sanity):
            step(bench)
    except Failed as e:
        print(f'FAILED: {e}', file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == '__main__':
    sys.exit(main())
