#!/usr/bin/env python3
"""Huge and hostile inputs, each run once through a duriv binary.

    bench/hostile.py DURIV [CASE...]

Every case builds its input under bench/work/hostile/CASE (a solution nested
100,000 deep, a directory of 60,000 files, a loop of five million
iterations, ...), runs the binary on it with a time and memory cap and prints
one row: exit status (or the signal that ended it), wall time, peak memory,
what the run produced and the first line of its diagnostics. The binary is
copied into an installation directory of its own, so the templates and the
configuration file it reads are the case's. Environment: TIMEOUT (seconds per
run, default 60), MEMORY_MB (address-space cap, default 8192).
"""
import os
import resource
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.path.join(ROOT, "bench", "work", "hostile")
TIMEOUT = float(os.environ.get("TIMEOUT", "60"))
MEMORY_MB = int(os.environ.get("MEMORY_MB", "8192"))

DOCTYPE = "<!DOCTYPE Kestrel_Project_File>\n"


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)


def solution(body, attributes=""):
    return DOCTYPE + '<solution Name="s"%s>\n%s\n</solution>\n' % (attributes, body)


def nested(open_tag, close_tag, depth, inner):
    return open_tag * depth + inner + close_tag * depth


def templated(directory, template_body, project='<project Name="p" template_name="T"/>'):
    """A solution whose one project comes from the template file beside it."""
    templates = os.path.join(directory, "templates.xml")
    write(templates, "<projects>\n%s\n</projects>\n" % template_body)
    return solution(project, ' templates_file="%s"' % templates)


# --- the cases: each writes its input into `d` and returns the arguments ---

def deep_solution(d):
    write(os.path.join(d, "a.c"), "int a;\n")
    body = nested('<folder Name="f"><file file_name="a.c"/>', "</folder>", 100000, "")
    write(os.path.join(d, "s.lxProject"), solution(body))
    return ["-hzr", "s.lxProject", "out.lxArchive"]


def deep_template_file(d):
    write(os.path.join(d, "a.c"), "int a;\n")
    template = nested("<group>", "</group>", 100000,
                      '<project template_name="T" type="Executable"><file name="a.c"/></project>')
    write(os.path.join(d, "s.lxProject"), templated(d, template))
    return ["-hzr", "s.lxProject", "out.lxArchive"]


def deep_template_body(d):
    write(os.path.join(d, "a.c"), "int a;\n")
    body = nested('<folder name="f">', "</folder>", 40000, '<file name="a.c"/>')
    template = '<project template_name="T" type="Executable">%s</project>' % body
    write(os.path.join(d, "s.lxProject"), templated(d, template))
    return ["-hzr", "s.lxProject", "out.lxArchive"]


def import_chain(d):
    count = 9000
    for i in range(count):
        inner = '<import file_name="i%d.lxProject"/>' % (i + 1) if i + 1 < count else '<file file_name="a.c"/>'
        write(os.path.join(d, "i%d.lxProject" % i), solution(inner))
    write(os.path.join(d, "a.c"), "int a;\n")
    write(os.path.join(d, "s.lxProject"), solution('<import file_name="i0.lxProject"/>'))
    return ["-hzr", "s.lxProject", "out.lxArchive"]


def deep_configuration(d):
    depth = 25000
    write(os.path.join(d, "bin", "config.xml"),
          "<!DOCTYPE Studio_Configuration_File>\n" + nested("<a>", "</a>", depth, ""))
    write(os.path.join(d, "a.c"), "int a;\n")
    write(os.path.join(d, "s.lxProject"), solution('<file file_name="a.c"/>'))
    return ["-hzr", "s.lxProject", "out.lxArchive"]


def files(d, count):
    tree = os.path.join(d, "tree")
    os.makedirs(tree, exist_ok=True)
    for i in range(count):
        open(os.path.join(tree, "f%d.h" % i), "w").close()
    return ["-c", "out.lxPackage", "tree"]


def create_15000(d):
    return files(d, 15000)


def create_60000(d):
    return files(d, 60000)


def dynamic_folder(d):
    tree = os.path.join(d, "tree")
    os.makedirs(tree, exist_ok=True)
    for i in range(40000):
        open(os.path.join(tree, "f%d.c" % i), "w").close()
    write(os.path.join(d, "s.lxProject"),
          solution('<project Name="p"><folder Name="d" path="tree" filter="*.c"/></project>'))
    return ["-hzr", "s.lxProject", "out.lxArchive"]


def many_attributes(d):
    write(os.path.join(d, "a.c"), "int a;\n")
    attributes = "".join(' a%d="%d"' % (i, i) for i in range(200000))
    write(os.path.join(d, "s.lxProject"), solution('<file file_name="a.c"%s/>' % attributes))
    return ["-hzr", "s.lxProject", "out.lxArchive"]


def deep_conditionals(d):
    write(os.path.join(d, "a.c"), "int a;\n")
    body = nested('<ifndef name="UNDEFINED">', "</ifndef>", 40000, '<file file_name="a.c"/>')
    write(os.path.join(d, "s.lxProject"), solution(body))
    return ["-hzr", "s.lxProject", "out.lxArchive"]


def xmlput_in_own_xmldef(d):
    write(os.path.join(d, "a.c"), "int a;\n")
    body = ('<xmldef name="x"><file file_name="a.c"/><xmlput name="x"/></xmldef>'
            '<xmlput name="x"/>')
    write(os.path.join(d, "s.lxProject"), solution(body))
    return ["-hzr", "s.lxProject", "out.lxArchive"]


def configuration_doubling(d):
    count = 40
    configurations = "".join(
        '<configuration name="C%d"><property name="inherited_configurations" value="C%d;C%d"/>'
        '<property name="p%d" value="v"/></configuration>' % (i, i + 1, i + 1, i)
        for i in range(count))
    template = ('<project template_name="T" type="Executable"><configuration name="C0"/></project>'
                "<configurations>%s</configurations>" % configurations)
    write(os.path.join(d, "s.lxProject"), templated(d, template))
    return ["-hzr", "s.lxProject", "out.lxArchive"]


def import_doubling(d):
    count = 40
    for i in range(count):
        inner = ('<import file_name="i%d.lxProject"/><import file_name="i%d.lxProject"/>' % (i + 1, i + 1)
                 if i + 1 < count else '<file file_name="a.c"/>')
        write(os.path.join(d, "i%d.lxProject" % i), solution(inner))
    write(os.path.join(d, "a.c"), "int a;\n")
    write(os.path.join(d, "s.lxProject"), solution('<import file_name="i0.lxProject"/>'))
    return ["-hzr", "s.lxProject", "out.lxArchive"]


def loop_then_xmlput(d, end):
    write(os.path.join(d, "later.c"), "int later;\n")
    body = ('<xmldef name="later"><file file_name="later.c"/></xmldef>'
            '<for index="i" start="0" end="%d" incr="1"><x n="$(i)"/></for>'
            '<xmlput name="later"/>' % end)
    write(os.path.join(d, "s.lxProject"), solution(body))
    return ["-hzr", "s.lxProject", "out.lxArchive"]


def loop_5000000(d):
    return loop_then_xmlput(d, 5000000)


def loop_4294967295(d):
    return loop_then_xmlput(d, 4294967295)


def nested_foreach(d):
    items = ",".join(str(i) for i in range(1000))
    body = '<foreach a="%s" b="%s" c="%s"><x/></foreach>' % (items, items, items)
    write(os.path.join(d, "s.lxProject"), solution(body))
    return ["-hzr", "s.lxProject", "out.lxArchive"]


def self_include_twice(d):
    write(os.path.join(d, "part.xml"),
          '<part><include filename="part.xml"/><include filename="part.xml"/></part>')
    write(os.path.join(d, "s.lxProject"), solution('<include filename="part.xml"/>'))
    return ["-hzr", "s.lxProject", "out.lxArchive"]


def include_chain(d):
    count = 200
    for i in range(count):
        inner = '<include filename="p%d.xml"/>' % (i + 1) if i + 1 < count else "<x/>"
        write(os.path.join(d, "p%d.xml" % i), "<part>%s</part>" % inner)
    write(os.path.join(d, "s.lxProject"), solution('<include filename="p0.xml"/>'))
    return ["-hzr", "s.lxProject", "out.lxArchive"]


def deep_expression(d):
    write(os.path.join(d, "a.c"), "int a;\n")
    expression = "(" * 100000 + "1==1" + ")" * 100000
    write(os.path.join(d, "s.lxProject"),
          solution('<ifex expression="%s"><file file_name="a.c"/></ifex>' % expression))
    return ["-hzr", "s.lxProject", "out.lxArchive"]


def link_doubling(d, levels=30):
    """Each directory holds two links to the next: 2^levels paths, no loop."""
    tree = os.path.join(d, "tree")
    for i in range(levels + 1):
        os.makedirs(os.path.join(tree, "d%d" % i), exist_ok=True)
    for i in range(levels):
        for link in ("a", "b"):
            path = os.path.join(tree, "d%d" % i, link)
            if not os.path.islink(path):
                os.symlink("../d%d" % (i + 1), path)
    write(os.path.join(tree, "d%d" % levels, "leaf.c"), "int leaf;\n")
    return tree


def create_link_doubling(d):
    link_doubling(d)
    return ["-c", "out.lxPackage", "tree/d0"]


def dynamic_link_doubling(d):
    link_doubling(d)
    write(os.path.join(d, "s.lxProject"),
          solution('<project Name="p"><folder Name="d" path="tree/d0" filter="*.c" recurse="Yes"/></project>'))
    return ["-hzr", "s.lxProject", "out.lxArchive"]


def deep_tree(d, depth=2000):
    """tree/d/d/...: as deep as a relative path of 4096 bytes reaches, a file near the top."""
    os.makedirs(os.path.join(d, "tree"), exist_ok=True)
    fd = os.open(os.path.join(d, "tree"), os.O_RDONLY)
    for _ in range(depth):
        os.mkdir("d", dir_fd=fd)
        inner = os.open("d", os.O_RDONLY, dir_fd=fd)
        os.close(fd)
        fd = inner
    os.close(fd)
    write(os.path.join(d, "tree", "d", "a.c"), "int a;\n")


def deep_directories(d):
    deep_tree(d)
    return ["-c", "out.lxPackage", "tree"]


def deep_dynamic_folder(d):
    deep_tree(d)
    write(os.path.join(d, "s.lxProject"),
          solution('<project Name="p"><folder Name="d" path="tree" filter="*.c" recurse="Yes"/></project>'))
    return ["-hzr", "s.lxProject", "out.lxArchive"]


CASES = [
    ("deep-solution", deep_solution),
    ("deep-template-file", deep_template_file),
    ("deep-template-body", deep_template_body),
    ("import-chain", import_chain),
    ("deep-configuration", deep_configuration),
    ("create-15000", create_15000),
    ("create-60000", create_60000),
    ("dynamic-folder", dynamic_folder),
    ("many-attributes", many_attributes),
    ("deep-conditionals", deep_conditionals),
    ("xmlput-in-own-xmldef", xmlput_in_own_xmldef),
    ("configuration-doubling", configuration_doubling),
    ("import-doubling", import_doubling),
    ("loop-5000000", loop_5000000),
    ("loop-4294967295", loop_4294967295),
    ("nested-foreach", nested_foreach),
    ("self-include-twice", self_include_twice),
    ("include-chain", include_chain),
    ("deep-expression", deep_expression),
    ("create-link-doubling", create_link_doubling),
    ("dynamic-link-doubling", dynamic_link_doubling),
    ("deep-directories", deep_directories),
    ("deep-dynamic-folder", deep_dynamic_folder),
]


def limit_memory():
    limit = MEMORY_MB * 1024 * 1024
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))


def run(binary, directory, arguments):
    """Status, wall seconds, peak MB, stdout and stderr of one run."""
    env = dict(os.environ, HOME=os.path.join(directory, "home"), TZ="UTC", LC_ALL="C")
    env.pop("MARROWGATE_ROOT_USER_DIR", None)
    start = time.monotonic()
    process = subprocess.Popen([binary] + arguments, cwd=directory, env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, preexec_fn=limit_memory)
    try:
        out, err = process.communicate(timeout=TIMEOUT)
        status = process.returncode
    except subprocess.TimeoutExpired:
        process.kill()
        out, err = process.communicate()
        status = "timeout"
    wall = time.monotonic() - start
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024.0
    if isinstance(status, int) and status < 0:
        status = signal.Signals(-status).name
    return status, wall, peak, out.decode(errors="replace"), err.decode(errors="replace")


def product(directory, arguments):
    """What the run left: the output's member count, or that it is missing."""
    output = os.path.join(directory, arguments[1] if arguments[0] == "-c" else arguments[2])
    if not os.path.exists(output):
        return "no output"
    return "%d bytes" % os.path.getsize(output)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    source = os.path.abspath(sys.argv[1])
    wanted = set(sys.argv[2:])
    print("%-24s %-8s %8s %8s  %-14s %s" % ("case", "status", "wall s", "peak MB", "output", "diagnostics"))
    for name, make in CASES:
        if wanted and name not in wanted:
            continue
        directory = os.path.join(WORK, name)
        subprocess.run(["rm", "-rf", directory])
        os.makedirs(os.path.join(directory, "home"))
        arguments = make(directory)
        binary = os.path.join(directory, "bin", "duriv")
        os.makedirs(os.path.dirname(binary), exist_ok=True)
        shutil.copy2(source, binary)
        # Peak memory of this run alone: each case runs in a child of its own.
        pid = os.fork()
        if pid == 0:
            status, wall, peak, out, err = run(binary, directory, arguments)
            lines = (err + out).splitlines()
            diagnostic = lines[0] if lines else ""
            extra = " (+%d lines)" % (len(lines) - 1) if len(lines) > 1 else ""
            print("%-24s %-8s %8.2f %8.1f  %-14s %s%s" % (name, status, wall, peak, product(directory, arguments),
                                                        diagnostic[:100], extra), flush=True)
            os._exit(0)
        os.waitpid(pid, 0)
        subprocess.run(["rm", "-rf", directory])


if __name__ == "__main__":
    main()
