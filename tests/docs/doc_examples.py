#!/usr/bin/env python3
"""Runs the examples of documents as they are written.

A fenced code block whose info string is "python run" or "sh run" is an
example to run; other blocks (usage lines, set-up commands) are not. The
examples of one document run in order, in one temporary folder, as a reader
would run them from the repository's top folder: "build" there is the build
folder, run.bin a small recording made from the emulator, and the address
127.0.0.1:7000 that the examples connect to is an emulator this script starts
on a free port. Python blocks run with PYTHONPATH=build/python, shell blocks
with bash -e. Prints one line per example and "N passed, N failed".

usage: doc_examples.py BUILD DOC.md [DOC.md ...]
"""
import os
import re
import subprocess
import sys
import tempfile

FENCE = re.compile(r"^```(python|sh) run\s*\n(.*?)^```\s*$", re.M | re.S)
DOC_ADDRESS = "127.0.0.1:7000"


def examples(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    for m in FENCE.finditer(text):
        line = text.count("\n", 0, m.start()) + 1
        yield line, m.group(1), m.group(2)


def start_emulator(build):
    emu = subprocess.Popen([os.path.join(build, "emulator", "gx_emulator"), "--address", "127.0.0.1", "--port", "0",
                            "--fps", "25", "--parent-pid", str(os.getpid())],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    first = emu.stdout.readline()  # "gx_emulator listening on 127.0.0.1:PORT"
    if "listening on" not in first:
        emu.kill()
        sys.exit("the emulator did not start: " + first)
    return emu, first.split()[-1]


def make_recording(env, folder, address):
    script = ("import vezovad, sys\n"
              "with vezovad.connect(sys.argv[1]) as gx:\n"
              "    gx.record('run.bin')\n"
              "    for _ in gx.frames(30, timeout=5.0): pass\n"
              "    gx.stop_recording()\n")
    subprocess.run([sys.executable, "-c", script, address], cwd=folder, env=env, check=True, timeout=60)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    emu, address = start_emulator(build)
    passed = failed = 0
    try:
        for doc in sys.argv[2:]:
            found = list(examples(doc))
            if not found:
                print(f"{doc}: no example marked to run")
                failed += 1
                continue
            with tempfile.TemporaryDirectory(prefix="doc_examples_") as folder:
                os.symlink(build, os.path.join(folder, "build"))
                env = dict(os.environ, PYTHONPATH=os.path.join(build, "python"), PYTHONDONTWRITEBYTECODE="1",
                           HOME=folder, MPLBACKEND="Agg")
                make_recording(env, folder, address)
                for line, kind, code in found:
                    code = code.replace(DOC_ADDRESS, address)
                    command = [sys.executable, "-c", code] if kind == "python" else ["bash", "-e", "-c", code]
                    try:
                        r = subprocess.run(command, cwd=folder, env=env, capture_output=True, text=True, timeout=120)
                        ok, said = r.returncode == 0, r.stdout + r.stderr
                    except subprocess.TimeoutExpired:
                        ok, said = False, "did not end within 120 s"
                    print(f"{'ok  ' if ok else 'FAIL'} {doc}:{line} ({kind})")
                    if not ok:
                        print("    " + said.strip().replace("\n", "\n    "))
                    passed += ok
                    failed += not ok
    finally:
        emu.terminate()
        emu.wait(timeout=10)
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
