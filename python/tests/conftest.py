"""Fixtures of the vezovad tests: a temporary home and working directory, and
GX emulators on 127.0.0.1 with a free port."""
import os
import signal
import subprocess

import pytest


@pytest.fixture(autouse=True, scope="session")
def private_home(tmp_path_factory):
    home = tmp_path_factory.mktemp("home")
    work = tmp_path_factory.mktemp("work")
    old_home, old_cwd = os.environ.get("HOME"), os.getcwd()
    os.environ["HOME"] = str(home)
    os.chdir(work)
    yield
    os.chdir(old_cwd)
    if old_home is not None:
        os.environ["HOME"] = old_home


class Emulator:
    """gx_emulator as a child in its own process group, ended with the test
    or, should the test process die, by itself (--parent-pid)."""

    def __init__(self, state, *args):
        self.proc = subprocess.Popen(
            [os.environ["GX_EMULATOR"], "--address", "127.0.0.1", "--port", "0", "--state", str(state),
             "--parent-pid", str(os.getpid()), *args],
            stdout=subprocess.PIPE, text=True, start_new_session=True)
        line = self.proc.stdout.readline()
        self.port = int(line.rsplit(":", 1)[1]) if ":" in line else 0
        if self.port <= 0:
            self.stop()
            raise RuntimeError("the emulator announced no port: %r" % line)
        self.address = "127.0.0.1:%d" % self.port

    def stop(self):
        if self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait()
        self.proc.stdout.close()


@pytest.fixture
def emulator(tmp_path):
    emu = Emulator(tmp_path / "state", "--fps", "25")
    yield emu
    emu.stop()


@pytest.fixture(scope="session")
def recording(tmp_path_factory):
    """30 frames recorded live from the emulator through the package."""
    import vezovad
    folder = tmp_path_factory.mktemp("rec")
    emu = Emulator(folder / "state", "--fps", "25")
    path = folder / "live.bin"
    try:
        with vezovad.connect(emu.address) as gx:
            gx.record(str(path))
            for _ in gx.frames(30, timeout=5):
                pass
            written = gx.stop_recording()
    finally:
        emu.stop()
    assert written >= 30
    return path
