#!/usr/bin/env python3
"""The kernel's layer rules: the include check on small kernel trees made here, and the CMake
declarations that refuse a layer using one above it.
usage: layers_test.py SOURCE_DIR (the checkout, whose kernel/ holds the check and its CMake)"""
import os
import subprocess
import sys
import tempfile
import unittest

SOURCE_DIR = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else None

# base <- vfs <- pipes (vfs in its headers, base only in its sources); calls uses vfs alone.
DECLARED = 'base||\nvfs|base|\npipes|vfs|base\ncalls|vfs|\n'
HEADERS = {'base/errors.h': '', 'vfs/files.h': '', 'pipes/pipe.h': '', 'calls/table.h': ''}

# Files added to the tree above, and what the check says: the start of each problem line, or
# nothing when the tree is in order.
INCLUDE_CASES = [
    ('own folder, used folders, outside kernel/',
     {'vfs/files.cpp': '#include "vfs/files.h"\n#include "base/errors.h"\n#include "local.h"\n'
                       '#include <sys/types.h>\n#include "vornos/abi/calls.h"\n// #include "calls/table.h"\n',
      'pipes/pipe.cpp': '#include "base/errors.h"\n'},
     []),
    ('an include from a layer above',
     {'vfs/files.cpp': '\n#include "pipes/pipe.h"\n'},
     ['kernel/vfs/files.cpp:2: includes pipes/pipe.h, but vfs may include only from base']),
    ('an include that only a used layer provides',
     {'calls/table.cpp': '#include "base/errors.h"\n'},
     ['kernel/calls/table.cpp:1: includes base/errors.h, but calls may include only from vfs '
      '(calls reaches it only through a folder it uses']),
    ('a header including what its layer uses PRIVATE',
     {'pipes/pipe.h': '#include "base/errors.h"\n'},
     ['kernel/pipes/pipe.h:1: header includes base/errors.h, which pipes uses PRIVATE']),
    ('angle brackets and spaces are includes too',
     {'base/errors.cpp': '#  include <vfs/files.h>\n'},
     ['kernel/base/errors.cpp:1: includes vfs/files.h, but base may include only from no other folder']),
    ('a way round the folders with ".."',
     {'pipes/pipe.cpp': '#include "../calls/table.h"\n'},
     ['kernel/pipes/pipe.cpp:1: includes "../calls/table.h": name a header from kernel/, without ".."']),
    ('a file in a folder below a layer belongs to that layer',
     {'vfs/inner/deep.cpp': '#include "calls/table.h"\n'},
     ['kernel/vfs/inner/deep.cpp:1: includes calls/table.h, but vfs may include only from base']),
    ('a folder no declaration names',
     {'extra/new.cpp': '#include "calls/table.h"\n', 'extra/more.h': ''},
     ['kernel/extra: a folder with sources that is not declared as a layer']),
]


def run_check(files):
    with tempfile.TemporaryDirectory() as root:
        kernel = os.path.join(root, 'kernel')
        for name, text in {**HEADERS, **files}.items():
            os.makedirs(os.path.dirname(os.path.join(kernel, name)), exist_ok=True)
            with open(os.path.join(kernel, name), 'w') as out:
                out.write(text)
        declared = os.path.join(root, 'layers.txt')
        with open(declared, 'w') as out:
            out.write(DECLARED)
        done = subprocess.run([sys.executable, os.path.join(SOURCE_DIR, 'kernel', 'check_layers.py'), kernel,
                               declared], capture_output=True, text=True)
        return done.returncode, [line for line in done.stderr.splitlines() if line.startswith('kernel/')]


# Declarations in CMake, judged without building anything: the target commands are stood in for,
# so that only the order and the written declarations count.
CMAKE_PRELUDE = '''
cmake_minimum_required(VERSION 3.25)
foreach(command target_link_libraries target_include_directories target_compile_features
                set_target_properties target_compile_options add_dependencies)
  function(${command})
  endfunction()
endforeach()
include(%s/kernel/layers.cmake)
'''
CMAKE_CASES = [
    ('layers in order, written down for the check',
     'vornos_kernel_layer(base b)\nvornos_kernel_layer(vfs v PRIVATE base)\n'
     'vornos_kernel_layer(pipes p PUBLIC vfs PRIVATE base)\n'
     'get_property(lines GLOBAL PROPERTY VORNOS_KERNEL_LAYER_LINES)\nmessage("${lines}")\n',
     True, 'base||;vfs||base;pipes|vfs|base'),
    ('a layer using one declared after it',
     'vornos_kernel_layer(base b)\nvornos_kernel_layer(vfs v PUBLIC pipes)\nvornos_kernel_layer(pipes p PUBLIC vfs)\n',
     False, 'kernel layer vfs uses pipes, which is not declared before it'),
    ('a layer using itself',
     'vornos_kernel_layer(base b PUBLIC base)\n', False, 'kernel layer base uses base, which is not declared'),
    ('a layer declared twice',
     'vornos_kernel_layer(base b)\nvornos_kernel_layer(base c)\n', False, 'kernel layer base is declared twice'),
]


def run_cmake(declarations):
    with tempfile.TemporaryDirectory() as root:
        script = os.path.join(root, 'declarations.cmake')
        with open(script, 'w') as out:
            out.write(CMAKE_PRELUDE % SOURCE_DIR + declarations)
        done = subprocess.run(['cmake', '-P', script], capture_output=True, text=True)
        return done.returncode, ' '.join(done.stderr.split())


class Includes(unittest.TestCase):
    def test_each_rule(self):
        for name, files, expected in INCLUDE_CASES:
            with self.subTest(name):
                status, problems = run_check(files)
                self.assertEqual(status, 1 if expected else 0, problems)
                self.assertEqual(len(problems), len(expected), problems)
                for problem, start in zip(problems, expected):
                    self.assertTrue(problem.startswith(start), problem)


class Declarations(unittest.TestCase):
    def test_order(self):
        for name, declarations, accepted, said in CMAKE_CASES:
            with self.subTest(name):
                status, output = run_cmake(declarations)
                self.assertEqual(status == 0, accepted, output)
                self.assertIn(said, output)


if __name__ == '__main__':
    unittest.main()
