#!/usr/bin/env python3
"""Fails when the project's libraries link each other in a circle, when a
feature library links another feature or the shell, or when vosktool-cli
depends on Qt Widgets or Gui.

Usage: check_layers.py LAYERS_TXT CLI_PROGRAM
LAYERS_TXT holds one line per project target, "target: item item ...",
written by tests/layers/CMakeLists.txt at configure time.
"""
import subprocess
import sys

FORBIDDEN_FOR_CLI = ("Qt6::Widgets", "Qt6::Gui")
FORBIDDEN_SONAMES = ("libQt6Widgets", "libQt6Gui")
# The features meet in the shell only: none links another or the shell.
FEATURES = ("vosktool_devicelist", "vosktool_netparam", "vosktool_password", "vosktool_export")


def read_graph(path):
    graph = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if ":" not in line:
                continue
            target, _, items = line.partition(":")
            graph[target.strip()] = items.split()
    return graph


def circles(graph):
    """Every circle between project targets, each once, as a list of names."""
    found = []
    state = {}  # 1 on the path, 2 done
    path = []

    def visit(node):
        state[node] = 1
        path.append(node)
        for dep in graph.get(node, []):
            if dep not in graph:
                continue
            if state.get(dep) == 1:
                found.append(path[path.index(dep):] + [dep])
            elif dep not in state:
                visit(dep)
        path.pop()
        state[node] = 2

    for node in sorted(graph):
        if node not in state:
            visit(node)
    return found


def closure(graph, start):
    seen, stack, via = set(), [start], {start: None}
    while stack:
        node = stack.pop()
        for dep in graph.get(node, []):
            if dep not in seen:
                seen.add(dep)
                via[dep] = node
                stack.append(dep)
    return seen, via


def chain(via, item):
    names = [item]
    while via.get(names[-1]):
        names.append(via[names[-1]])
    return " <- ".join(names)


def main():
    layers, cli = sys.argv[1], sys.argv[2]
    graph = read_graph(layers)
    problems = []
    if "vosktool-cli" not in graph:
        problems.append("vosktool-cli is missing from %s" % layers)
    for circle in circles(graph):
        problems.append("link circle: " + " -> ".join(circle))
    for feature in FEATURES:
        reach, path = closure(graph, feature)
        for other in FEATURES + ("vosktool_shell",):
            if other != feature and other in reach:
                problems.append("%s links %s: %s" % (feature, other, chain(path, other)))
    deps, via = closure(graph, "vosktool-cli")
    for item in FORBIDDEN_FOR_CLI:
        if item in deps:
            problems.append("vosktool-cli depends on %s: %s" % (item, chain(via, item)))
    ldd = subprocess.run(["ldd", cli], capture_output=True, text=True)
    if ldd.returncode != 0:
        problems.append("ldd %s failed: %s" % (cli, ldd.stderr.strip()))
    for line in ldd.stdout.splitlines():
        if any(name in line for name in FORBIDDEN_SONAMES):
            problems.append("vosktool-cli loads " + line.strip())
    for problem in problems:
        print(problem)
    if not problems:
        print("%d project targets, no circle; vosktool-cli without Qt Widgets or Gui" % len(graph))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
