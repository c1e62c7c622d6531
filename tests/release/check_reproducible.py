#!/usr/bin/env python3
"""Makes the release file twice, as `make dist` does, from two copies of the source tree in
folders of different names and depths, each with its own build tree, one after the other: the two
files must be the same bytes, so neither the time of a build nor its folder reaches the file, and
the SHA-256 printed must be the file's.

    VELMARIS_SOURCE_DIR=<source tree> python3 -m unittest check_reproducible
"""
import hashlib
import os
import re
import shutil
import subprocess
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.environ.get('VELMARIS_SOURCE_DIR', os.path.dirname(os.path.dirname(HERE)))
# What a build or a run leaves at the top of the tree, besides the sources (.gitignore).
NOT_SOURCES = re.compile(r'^(\.git|build|dist|\.wine-.*)$')


def make_dist(folder):
    """Copies the tree into folder and makes the release file there: (its bytes, what was printed)."""
    shutil.copytree(SOURCE, folder, symlinks=True,
                    ignore=lambda at, names: [n for n in names
                                              if at == SOURCE and NOT_SOURCES.match(n)])
    said = []
    for command in (['cmake', '--preset', 'windows'],
                    ['cmake', '--build', '--preset', 'windows', '--target', 'dist']):
        run = subprocess.run(command, cwd=folder, stdin=subprocess.DEVNULL, capture_output=True,
                             text=True)
        if run.returncode != 0:
            raise AssertionError(f'{" ".join(command)} failed in {folder}:\n'
                                 f'{run.stdout}{run.stderr}')
        said.append(run.stdout)
    with open(os.path.join(folder, 'dist', 'VelmarisDiag.exe'), 'rb') as f:
        return f.read(), said[-1]


class ReproducibleBuildTest(unittest.TestCase):
    def test_two_builds_in_other_folders_give_the_same_file(self):
        with tempfile.TemporaryDirectory() as scratch:
            first, first_said = make_dist(os.path.join(scratch, 'a'))
            second, _ = make_dist(os.path.join(scratch, 'a longer folder', 'VelmarisDiag-copy'))

        if first != second:
            differs = next(i for i, (x, y) in enumerate(zip(first, second)) if x != y) \
                if len(first) == len(second) else None
            self.fail(f'the two files differ: {len(first):,} and {len(second):,} bytes'
                      + (f', first at offset {differs:#x}' if differs is not None else ''))
        printed = re.search(r'^SHA-256:\s+([0-9a-f]{64})$', first_said, re.MULTILINE)
        self.assertIsNotNone(printed, first_said)
        self.assertEqual(printed.group(1), hashlib.sha256(first).hexdigest())


if __name__ == '__main__':
    unittest.main()
