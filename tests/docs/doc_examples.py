#!/usr/bin/env python3
"""Runs the examples of documents as written: usage: doc_examples.py BUILD DOC.md...

A fenced block whose info string is "python run" or "sh run" is an example to
run. Each document's examples run in order in one temporary folder, as from the
repository's top folder: "build" there is the build folder, run.bin a recording
of 30 frames, and the address 127.0.0.1:7000 they connect to is an emulator
started here on a free port. Prints "N passed, N failed".
"""
import os, re, subprocess, sys, tempfile

build = os.path.abspath(sys.argv[1])
emu = subprocess.Popen([build + "/emulator/gx_emulator", "--port", "0", "--parent-pid", str(os.getpid())],
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
address = emu.stdout.readline().split()[-1]  # "gx_emulator listening on 127.0.0.1:PORT"
passed = failed = 0
try:
    for doc in sys.argv[2:]:
        text = open(doc, encoding="utf-8").read()
        blocks = list(re.finditer(r"^```(python|sh) run\n(.*?)^```$", text, re.M | re.S))
        failed += not blocks
        with tempfile.TemporaryDirectory(prefix="doc_examples_") as folder:
            os.symlink(build, folder + "/build")
            env = dict(os.environ, PYTHONPATH=build + "/python", PYTHONDONTWRITEBYTECODE="1", HOME=folder)
            subprocess.run([sys.executable, "-c", "import vezovad, sys\nwith vezovad.connect(sys.argv[1]) as gx:\n"
                            "    gx.record('run.bin'); list(gx.frames(30, timeout=5.0)); gx.stop_recording()", address],
                           cwd=folder, env=env, check=True, timeout=60)
            for m in blocks:
                code = m.group(2).replace("127.0.0.1:7000", address)
                command = [sys.executable, "-c", code] if m.group(1) == "python" else ["bash", "-e", "-c", code]
                r = subprocess.run(command, cwd=folder, env=env, capture_output=True, text=True, timeout=120)
                print(f"{'ok' if r.returncode == 0 else 'FAIL'} {doc}:{text.count(chr(10), 0, m.start()) + 1}")
                if r.returncode != 0:
                    print(r.stdout + r.stderr)
                passed += r.returncode == 0
                failed += r.returncode != 0
finally:
    emu.terminate()
    emu.wait(timeout=10)
print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
