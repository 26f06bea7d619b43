#!/usr/bin/env python3
"""Checks every #include "..." of the daemon's libraries against the layer order in README.md.

The order is the README's one line that starts with "base <-": layers from the bottom up,
separated by "<-"; layers named together, separated by ",", stand side by side and do not include
each other. A file belongs to the layer whose folder is the longest prefix of its path; it may
include headers of its own layer and of the layers below. Files outside every layer (sim/,
tools/, tests/, bench/, fuzz/) are not checked, and no layer may include them.

Usage: check_layers.py [SOURCE_ROOT]; exits 1 and names each offending line.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCES = ('.h', '.hpp', '.cpp', '.cc')


def read_order(root):
    with open(os.path.join(root, 'README.md'), encoding='utf-8') as readme:
        for line in readme:
            text = line.strip().strip('`').strip()
            if re.match(r'base\s*<-', text):
                ranks = [[name.strip() for name in rank.split(',')] for rank in text.split('<-')]
                return {name: level for level, rank in enumerate(ranks) for name in rank}
    sys.exit('check_layers: README.md states no layer order (a line starting "base <-")')


def layer_of(path, layers):
    best = None
    for name in layers:
        if path.startswith(name + '/') and (best is None or len(name) > len(best)):
            best = name
    return best


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), '..', '..'))
    levels = read_order(root)
    faults = []
    for name in levels:
        if not os.path.isdir(os.path.join(root, name)):
            faults.append('README.md: layer %s names no folder' % name)
    for name in sorted(levels):
        for folder, dirs, files in os.walk(os.path.join(root, name)):
            dirs.sort()
            for f in sorted(files):
                if not f.endswith(SOURCES):
                    continue
                path = os.path.relpath(os.path.join(folder, f), root)
                own = layer_of(path, levels)
                if own != name:
                    continue  # a folder of a layer nested in this one: checked as that layer
                with open(os.path.join(root, path), encoding='utf-8', errors='replace') as src:
                    for number, line in enumerate(src, 1):
                        m = INCLUDE.match(line)
                        if not m or '/' not in m.group(1):
                            continue
                        header = m.group(1)
                        other = layer_of(header, levels)
                        if other is None:
                            faults.append('%s:%d: includes %s, which is in no layer' %
                                          (path, number, header))
                        elif other != own and levels[other] >= levels[own]:
                            faults.append('%s:%d: includes %s of layer %s, not below layer %s' %
                                          (path, number, header, other, own))
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
