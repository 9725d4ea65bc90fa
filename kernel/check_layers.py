#!/usr/bin/env python3
"""Holds every #include in kernel/ to the layers that kernel/CMakeLists.txt declares.

The rules, for a file in kernel/F:
- it may include headers of F and of the folders F declares it uses, and of no other folder:
  not of a folder that only a used folder reaches either, so that each folder names all it
  depends on and the declaration is the picture of the includes;
- if it is a header, only of F and of the folders F uses PUBLIC: a header's includes reach
  every user of F, so a folder F uses PRIVATE must stay out of F's headers;
- it names other folders' headers from kernel/ ("vfs/descriptors.h"), never with "..";
- F itself is declared (a new folder is a new layer, placed in the order like the others).
kernel/layers.cmake lets a layer use only layers declared before it, so they form no cycle.

usage: check_layers.py KERNEL_DIR LAYERS_FILE
LAYERS_FILE has one line per layer, lowest first: FOLDER|PUBLIC,USES|PRIVATE,USES
"""
import os
import re
import sys

SOURCE_SUFFIXES = ('.h', '.hpp', '.inc', '.c', '.cc', '.cpp')
HEADER_SUFFIXES = ('.h', '.hpp', '.inc')
INCLUDE = re.compile(r'\s*#\s*include\s*(?:"([^"]+)"|<([^>]+)>)')


class Layer:
    def __init__(self, public, private):
        self.public, self.private = public, private

    def uses(self):
        return self.public | self.private


def read_layers(path):
    """The declared layers by folder, and the lines that declare none."""
    layers, problems = {}, []
    with open(path) as text:
        for number, line in enumerate(text, 1):
            line = line.strip()
            if not line:
                continue
            fields = line.split('|')
            if len(fields) != 3 or not fields[0]:
                problems.append('%s:%d: not FOLDER|PUBLIC,...|PRIVATE,...: %s' % (path, number, line))
                continue
            public = {name for name in fields[1].split(',') if name}
            private = {name for name in fields[2].split(',') if name}
            layers[fields[0]] = Layer(public, private)
    return layers, problems


def kernel_files(kernel):
    """(folder, path relative to kernel/) of every source file in a folder of kernel/."""
    for directory, subdirectories, names in os.walk(kernel):
        subdirectories.sort()
        relative = os.path.relpath(directory, kernel)
        if relative == '.':
            continue
        for name in sorted(names):
            if name.endswith(SOURCE_SUFFIXES):
                yield relative.split(os.sep)[0], os.path.join(relative, name)


def include_problems(kernel, layers, folder, relative):
    path = os.path.join(kernel, relative)
    layer = layers[folder]
    is_header = relative.endswith(HEADER_SUFFIXES)
    with open(path, errors='replace') as text:
        for number, line in enumerate(text, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            included = match.group(1) or match.group(2)
            where = 'kernel/%s:%d: ' % (relative, number)
            if '..' in included.split('/'):
                yield where + 'includes "%s": name a header from kernel/, without ".."' % included
                continue
            if '/' not in included:
                continue  # its own folder's header, or one from outside kernel/
            target = included.split('/')[0]
            if target == folder or not os.path.isdir(os.path.join(kernel, target)):
                continue
            if target not in layer.uses():
                allowed = ', '.join(sorted(layer.uses())) or 'no other folder'
                reach = ' (%s reaches it only through a folder it uses: name it where it is included)' % folder \
                    if target in reachable(layers, folder) else ''
                yield where + 'includes %s, but %s may include only from %s%s' % (
                    included, folder, allowed, reach)
            elif is_header and target not in layer.public:
                yield where + ('header includes %s, which %s uses PRIVATE: a header reaches every user of '
                               '%s, so declare %s PUBLIC or include it from a source file' % (
                                   included, folder, folder, target))


def reachable(layers, folder):
    seen, todo = set(), list(layers[folder].uses())
    while todo:
        current = todo.pop()
        if current in seen or current not in layers:
            continue
        seen.add(current)
        todo.extend(layers[current].uses())
    return seen


def check(kernel, layers_file):
    layers, problems = read_layers(layers_file)
    undeclared = set()
    for folder, relative in kernel_files(kernel):
        if folder not in layers:
            if folder not in undeclared:
                undeclared.add(folder)
                problems.append('kernel/%s: a folder with sources that is not declared as a layer in '
                                'kernel/CMakeLists.txt' % folder)
            continue
        problems.extend(include_problems(kernel, layers, folder, relative))
    return problems


def main(arguments):
    if len(arguments) != 3:
        sys.stderr.write(__doc__)
        return 2
    problems = check(arguments[1], arguments[2])
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print('kernel layers: %d include(s) against the declared order (kernel/CMakeLists.txt)' % len(problems),
              file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
