#!/usr/bin/env python3
"""Builds the Ansible collection velqor.tarnwell (ansible/), installs it into
a temporary collections path and drives its module velqor.tarnwell.database
with Debian's ansible-core against this machine (inventory "localhost,",
connection local, no facts, no network where a namespace can be had), on
files in a temporary directory, with the tarnwell program given. Then runs
the example playbook examples/tarnwell-database.yml the same way, and
ansible-test's module checks where they can run offline.

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
# Distinctive, so that any leak of it shows in a plain search of the output.
PASSWORD = 'Qx7-tarn-secret'
SERVER = r'DBHOST\SQLEXPRESS'
# A user holding $HOME proves that nothing expands it on the way to the tool.
USER = 'tarnwell$HOME'


class Failed(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failed(what)


def identity(path):
    st = os.stat(path)
    return (st.st_ino, st.st_size, st.st_mtime_ns, st.st_ctime_ns)


class Bench:
    def __init__(self, program, work):
        self.program = program
        self.work = work
        self.srv = os.path.join(work, 'srv')
        self.file = os.path.join(self.srv, 'preferences.cfg')
        self.argv_log = os.path.join(work, 'argv.log')
        os.makedirs(self.srv)
        # Ansible's own files in the temporary directory, no configuration
        # file or collection of this host's, a locale Ansible accepts.
        env = {k: v for k, v in os.environ.items() if not k.startswith('ANSIBLE_')}
        env.update(HOME=os.path.join(work, 'home'), ANSIBLE_HOME=os.path.join(work, 'ansible'),
                   ANSIBLE_CONFIG=os.path.join(work, 'ansible.cfg'),
                   ANSIBLE_LOCAL_TEMP=os.path.join(work, 'ansible-local'),
                   ANSIBLE_REMOTE_TEMP=os.path.join(work, 'ansible-remote'),
                   ANSIBLE_COLLECTIONS_PATH=os.path.join(work, 'collections'),
                   ANSIBLE_RETRY_FILES_ENABLED='0', ANSIBLE_NOCOLOR='1', ANSIBLE_FORCE_COLOR='0',
                   ANSIBLE_STDOUT_CALLBACK='default', ANSIBLE_LOAD_CALLBACK_PLUGINS='0',
                   ANSIBLE_HOST_KEY_CHECKING='0', ANSIBLE_DEPRECATION_WARNINGS='0',
                   LC_ALL='C.UTF-8', LANG='C.UTF-8')
        self.env = env
        os.makedirs(env['HOME'])
        open(env['ANSIBLE_CONFIG'], 'w').close()
        self.isolated = []
        if subprocess.run(['unshare', '--net', 'true'], stderr=subprocess.DEVNULL).returncode == 0:
            self.isolated = ['unshare', '--net']
            print('The plays run without any network (unshare --net).', file=sys.stderr)
        # The tool behind a wrapper that records its arguments: the password
        # must never be one of them.
        self.logged = os.path.join(work, 'tarnwell-logged')
        with open(self.logged, 'w') as f:
            f.write('#!/bin/sh\nprintf "%%s\\n" "$@" >>%s\nexec %s "$@"\n'
                    % (shlex.quote(self.argv_log), shlex.quote(program)))
        os.chmod(self.logged, 0o755)

    def run(self, argv, env=None):
        return subprocess.run(argv, env=env or self.env, cwd=self.work, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, universal_newlines=True)

    def play(self, name, tasks, check_mode=False, verbose=False, extra=()):
        """Runs one play with a task of the module for each argument dict of
        tasks; returns the recap counts, the whole output and the registered
        results."""
        saved = os.path.join(self.work, 'result-%s.json' % name)
        steps = [{'name': 'database %d' % i, 'velqor.tarnwell.database': args,
                  'register': 'r%d' % i, 'ignore_errors': True} for i, args in enumerate(tasks)]
        steps.append({'name': 'keep the results', 'check_mode': False, 'diff': False, 'changed_when': False,
                      'ansible.builtin.copy': {'dest': saved, 'content': '{{ [%s] | to_json }}'
                                               % ', '.join('r%d' % i for i in range(len(tasks)))}})
        book = os.path.join(self.work, 'play-%s.yml' % name)
        with open(book, 'w') as f:
            json.dump([{'hosts': 'localhost', 'gather_facts': False, 'tasks': steps}], f)
        argv = self.isolated + ['ansible-playbook', '-i', 'localhost,', '-c', 'local', '--diff',
                                '-e', 'ansible_python_interpreter=' + sys.executable, book]
        argv += (['--check'] if check_mode else []) + (['-vvv'] if verbose else []) + list(extra)
        done = self.run(argv)
        if done.returncode != 0 or not os.path.exists(saved):
            raise Failed('play %s: ansible-playbook exited %d\n%s' % (name, done.returncode, done.stdout))
        with open(saved) as f:
            results = json.load(f)
        return recap(done.stdout), done.stdout, results

    def show(self):
        done = subprocess.run([self.program, '--file=' + self.file, '--show', '--format=json'],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, universal_newlines=True, check=True)
        return json.loads(done.stdout)


def recap(output):
    line = re.search(r'^localhost +: (ok=.*)$', output, re.M)
    check(line, 'no recap line in\n' + output)
    return {k: int(v) for k, v in re.findall(r'(\w+)=(\d+)', line.group(1))}


def mssql(bench, **over):
    args = {'path': bench.file, 'provider': 'mssql', 'server': SERVER, 'user': USER,
            'password': PASSWORD, 'executable': bench.logged}
    args.update(over)
    return args


def build_and_document(bench):
    with open(os.path.join(ROOT, 'CMakeLists.txt')) as f:
        project = re.search(r'project\(tarnwell VERSION ([0-9.]+)', f.read()).group(1)
    with open(os.path.join(ROOT, 'ansible', 'galaxy.yml')) as f:
        galaxy = re.search(r'^version: *(\S+)', f.read(), re.M).group(1)
    check((project + '.0.0').split('.')[:3] == galaxy.split('.'),
          'galaxy.yml version %s is not the project version %s' % (galaxy, project))
    dist = os.path.join(bench.work, 'dist')
    done = bench.run(['ansible-galaxy', 'collection', 'build', os.path.join(ROOT, 'ansible'), '--output-path', dist])
    archive = os.path.join(dist, 'velqor-tarnwell-%s.tar.gz' % galaxy)
    check(done.returncode == 0 and os.path.exists(archive), 'collection build failed\n' + done.stdout)
    done = bench.run(['ansible-galaxy', 'collection', 'install', archive, '-p', bench.env['ANSIBLE_COLLECTIONS_PATH']])
    check(done.returncode == 0, 'collection install failed\n' + done.stdout)
    done = bench.run(['ansible-doc', 'velqor.tarnwell.database'])
    check(done.returncode == 0, 'ansible-doc failed\n' + done.stdout)
    for needed in ['= path', '= provider', '- server', '- user', '- password', '- backup', '- executable',
                   '- mode', '- owner', 'check_mode:', 'EXAMPLES:', 'velqor.tarnwell.database:',
                   'RETURN VALUES:', '- backup_file', '- diff', 'before_header']:
        check(needed in done.stdout, 'ansible-doc does not show %r\n%s' % (needed, done.stdout))
    print('collection %s built, installed and documented' % galaxy, file=sys.stderr)


def module_runs(bench):
    # Check mode on a missing file: a change foreseen, nothing made.
    counts, out, [r] = bench.play('check-new', [mssql(bench, mode='0640')], check_mode=True, verbose=True)
    check(counts['changed'] == 1 and r['changed'], 'check on a new file: not changed %r' % counts)
    check(os.listdir(bench.srv) == [], 'check mode left %s' % os.listdir(bench.srv))
    check('Server: %s' % SERVER in r['diff']['after'] and 'Password: (set)' in r['diff']['after'],
          'check diff lacks the new settings: %r' % r['diff'])
    check('Server: ' + SERVER in out, 'the diff is not shown')
    check('--check' in open(bench.argv_log).read().split('\n'), 'the tool was not run with --check')

    # The real run: written, the mode applied, nothing expanded on the way.
    counts, out, [r] = bench.play('first', [mssql(bench, mode='0640')])
    check(counts['changed'] == 1 and r['changed'], 'first run not changed %r' % counts)
    check(os.stat(bench.file).st_mode & 0o7777 == 0o640, 'mode 0640 not applied: %o' % os.stat(bench.file).st_mode)
    stored = bench.show()
    check((stored['provider'], stored['server'], stored['user'], stored['password']) == ('MSSQL', SERVER, USER, 'set'),
          'stored %r' % stored)
    check('backup_file' not in r, 'a backup of a file that did not exist: %r' % r)

    # Unchanged, real and in check mode: ok, the file untouched.
    before, old = identity(bench.file), open(bench.file, 'rb').read()
    time.sleep(1.1)  # a rewrite would show in the times even on a coarse clock
    listing = sorted(os.listdir(bench.srv))  # the tool may keep its lock file beside the preferences
    for check_mode in (False, True):
        counts, out, [r] = bench.play('again-%s' % check_mode, [mssql(bench, mode='0640')], check_mode=check_mode)
        check(counts['changed'] == 0 and not r['changed'], 'second run (check %s) changed' % check_mode)
        check(identity(bench.file) == before, 'second run (check %s) touched the file' % check_mode)
        check(sorted(os.listdir(bench.srv)) == listing, 'left %s' % os.listdir(bench.srv))

    # Only the mode differs: a change, foreseen in check mode, the content kept.
    counts, out, [r] = bench.play('mode-check', [mssql(bench, mode='0600')], check_mode=True)
    check(r['changed'] and os.stat(bench.file).st_mode & 0o777 == 0o640, 'mode in check mode: %r' % r)
    check('Mode: 0640' in r['diff']['before'] and 'Mode: 0600' in r['diff']['after'], 'mode diff %r' % r['diff'])
    counts, out, [r] = bench.play('mode', [mssql(bench, mode='0600')])
    check(r['changed'] and os.stat(bench.file).st_mode & 0o777 == 0o600, 'mode not changed: %r' % r)
    check(identity(bench.file)[0] == before[0] and open(bench.file, 'rb').read() == old, 'content rewritten for a mode')

    # A change with a backup, then a new password.
    counts, out, [r] = bench.play('backup', [mssql(bench, server='OTHERHOST', backup=True)])
    check(r['changed'] and 'backup_file' in r, 'no backup reported: %r' % r)
    check(open(r['backup_file'], 'rb').read() == old, 'the backup does not hold the old contents')
    check(bench.show()['server'] == 'OTHERHOST', 'server not changed')
    check('Server: %s' % SERVER in r['diff']['before'] and 'Server: OTHERHOST' in r['diff']['after'], 'diff %r' % r['diff'])
    counts, out, [r] = bench.play('password', [mssql(bench, server='OTHERHOST', password=PASSWORD + '2')], verbose=True)
    check(r['changed'] and 'Password: (changed)' in r['diff']['after'], 'password change not shown: %r' % r)
    check(PASSWORD not in out, 'the password shows in the output')
    check('Password: (changed)' in out, 'the password change is not shown in the output')

    # Refusals: each fails with its reason and leaves the file as it was.
    before = identity(bench.file)
    refused = [
        (mssql(bench, password=PASSWORD + ';x'), '; is not allowed in a password'),
        (mssql(bench, password=PASSWORD + '\nx'), 'single line'),
        (mssql(bench, password=None), 'missing: password'),
        ({'path': bench.file, 'provider': 'sqlite', 'server': SERVER, 'executable': bench.logged}, 'server apply only'),
        (mssql(bench, path='srv/preferences.cfg'), 'must be absolute'),
        (mssql(bench, executable=os.path.join(bench.work, 'missing')), 'not an executable file'),
    ]
    counts, out, results = bench.play('refused', [args for args, _ in refused], verbose=True)
    check(counts['ignored'] == len(refused), 'not all refused: %r' % counts)
    for (args, reason), r in zip(refused, results):
        check(r.get('failed') and reason in r.get('msg', ''), 'expected %r, got %r' % (reason, r))
    check(PASSWORD not in out and PASSWORD not in json.dumps(results), 'a refused password shows in the output')
    check(identity(bench.file) == before, 'a refused run touched the file')
    check(PASSWORD not in open(bench.argv_log).read(), 'the password was on a command line')
    print('module: check, write, mode, unchanged, backup, password change and refusals as expected', file=sys.stderr)


def example(bench):
    # The example finds tarnwell on PATH, as on a host with the package.
    path_dir = os.path.join(bench.work, 'path')
    os.makedirs(path_dir)
    os.symlink(bench.program, os.path.join(path_dir, 'tarnwell'))
    env = dict(bench.env, PATH=path_dir + os.pathsep + bench.env.get('PATH', ''))
    target = os.path.join(bench.srv, 'example.cfg')
    runs = [('mssql', {'db_server': SERVER, 'db_user': 'tarnwell', 'db_password': PASSWORD}, 1),
            ('mssql', {'db_server': SERVER, 'db_user': 'tarnwell', 'db_password': PASSWORD}, 0),
            ('sqlite', {}, 1)]
    for i, (provider, extra, changed) in enumerate(runs):
        vars_file = os.path.join(bench.work, 'example-%d.json' % i)
        with open(vars_file, 'w') as f:
            json.dump(dict(extra, preferences_file=target, db_provider=provider,
                           ansible_python_interpreter=sys.executable), f)
        done = bench.run(bench.isolated + ['ansible-playbook', '-i', 'localhost,', '-c', 'local', '-e', '@' + vars_file,
                                           os.path.join(ROOT, 'examples', 'tarnwell-database.yml')], env=env)
        check(done.returncode == 0, 'example run %d failed\n%s' % (i, done.stdout))
        counts = recap(done.stdout)
        check(counts['changed'] == changed and counts['failed'] == 0, 'example run %d: %r' % (i, counts))
        check(PASSWORD not in done.stdout, 'the example shows the password')
    print('example playbook: changed, ok, changed', file=sys.stderr)


def sanity(bench):
    """ansible-test's own checks of the collection (validate-modules, pylint,
    pep8, yamllint, import and the rest). It pip-installs pinned tools into a
    virtual environment for each, which needs the network; offline, each
    environment it asks for is made instead from Debian's python3 with its
    packages, and the run repeated."""
    python = '/usr/bin/python3'
    tools = subprocess.run([python, '-c', 'import voluptuous, pycodestyle, pylint, yamllint'], stderr=subprocess.DEVNULL)
    if tools.returncode != 0:
        print('ansible-test sanity NOT RUN: it needs the Debian packages python3-voluptuous, pycodestyle, pylint '
              'and yamllint', file=sys.stderr)
        return
    root = os.path.join(bench.work, 'sanity', 'ansible_collections', 'velqor', 'tarnwell')
    shutil.copytree(os.path.join(ROOT, 'ansible'), root)
    # validate-modules takes only a GitHub handle for an author, which Velqor
    # has not; the rest of the documentation is checked as it is.
    module = os.path.join(root, 'plugins', 'modules', 'database.py')
    with open(module) as f:
        text = f.read()
    with open(module, 'w') as f:
        f.write(text.replace('- Velqor Tech (support@velqor.example)', '- Velqor Tech (@velqor)'))
    version = subprocess.run([python, '-c', 'import sys; print("%d.%d" % sys.version_info[:2])'],
                             stdout=subprocess.PIPE, universal_newlines=True).stdout.strip()
    env = {k: v for k, v in bench.env.items() if k != 'ANSIBLE_COLLECTIONS_PATH'}
    venvs = os.path.join(env['HOME'], '.ansible', 'test', 'venv')
    argv = bench.isolated + ['ansible-test', 'sanity', '--python', version, '--python-interpreter', python]
    for _ in range(16):
        done = subprocess.run(argv, cwd=root, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              universal_newlines=True)
        # ansible-test's cache: <label>/<python>/<hash>/, used once marker.txt is there.
        fresh = [d for d in glob.glob(os.path.join(venvs, '*', '*', '*'))
                 if not os.path.exists(os.path.join(d, 'marker.txt'))]
        if done.returncode == 0 or not fresh:
            break
        for d in fresh:
            shutil.rmtree(d)
            subprocess.run([python, '-m', 'venv', '--system-site-packages', '--without-pip', d], check=True)
            with open(os.path.join(d, 'meta.yaml.json'), 'w') as f:
                f.write('true')
            open(os.path.join(d, 'marker.txt'), 'w').close()
    check(done.returncode == 0, 'ansible-test sanity failed\n' + done.stdout)
    ran = re.findall(r'^Running sanity test "([^"]+)"', done.stdout, re.M)
    check('validate-modules' in ran and 'pylint' in ran, 'ansible-test ran only %s' % ran)
    print('ansible-test sanity passed: %s' % ' '.join(ran), file=sys.stderr)


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: run-ansible-collection.py TARNWELL_PROGRAM')
    program = os.path.realpath(sys.argv[1])
    if not shutil.which('ansible-playbook'):
        print('SKIP: ansible-playbook is not installed (Debian package ansible-core; '
              'scripts/install-deps.sh installs it)', file=sys.stderr)
        return 77
    work = tempfile.mkdtemp(prefix='tarnwell-ansible.')
    try:
        os.chmod(work, 0o700)
        bench = Bench(program, work)
        for step in (build_and_document, module_runs, example, sanity):
            step(bench)
    except Failed as e:
        print('FAILED: %s' % e, file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == '__main__':
    sys.exit(main())
