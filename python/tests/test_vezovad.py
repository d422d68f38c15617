"""The vezovad package against the device library's own converter and a live
emulator on 127.0.0.1."""
import os
import socket
import subprocess

import numpy as np
import pytest

import vezovad


def convert_csv(path, out, last):
    subprocess.run([os.environ["GX_CONVERT"], str(path), str(out), "--format", "csv", "--to", str(last)],
                   check=True, capture_output=True)
    index = np.genfromtxt(out / "index.csv", delimiter=",", names=True, dtype=None, encoding="utf-8")
    return index, [np.genfromtxt(out / name, delimiter=",", skip_header=1) for name in index["cloud"]]


def test_recording_matches_the_converter(recording, tmp_path):
    rec = vezovad.open_recording(str(recording))
    assert len(rec) >= 30 and rec.damaged == 0 and rec.path == str(recording)
    index, clouds = convert_csv(recording, tmp_path / "csv", 2)
    for i, cloud in enumerate(clouds):
        f = rec[i]
        assert (f.rows, f.cols) == (100, 400)
        assert f.frame_number == index["frame_number"][i]
        assert f.time == pytest.approx(index["time_s"][i], abs=1e-8)
        assert isinstance(f.timestamp, int) and f.time == pytest.approx(f.timestamp * 1e-8)
        for name, dtype in (("ambient", np.uint16), ("depth", np.int32), ("intensity", np.uint16), ("valid", np.bool_)):
            assert getattr(f, name).dtype == dtype and getattr(f, name).shape == (100, 400), name
        assert f.points.shape == (100, 400, 3) and f.points.dtype == np.float64
        assert f.depth2 is None and f.intensity2 is None
        rows, cols = cloud[:, 0].astype(int), cloud[:, 1].astype(int)
        valid = f.valid[rows, cols]
        assert 0.5 < valid.mean() < 1 and np.array_equal(valid, ~np.isnan(cloud[:, 2]))
        assert np.allclose(f.xyz_m()[rows, cols][valid], cloud[valid, 2:5], rtol=1e-6, atol=1e-6)
        assert np.allclose(f.points[rows, cols][valid] / 1000, cloud[valid, 2:5], rtol=1e-6, atol=1e-6)
        assert np.array_equal(f.intensity[rows, cols][valid], cloud[valid, 5])


def test_indexing_iteration_views_and_copies(recording):
    rec = vezovad.open_recording(str(recording))
    numbers = [f.frame_number for f in rec]
    assert numbers == sorted(numbers) and len(numbers) == len(rec)
    assert rec[-1].frame_number == numbers[-1] and rec[-len(rec)].frame_number == numbers[0]
    for bad in (len(rec), -len(rec) - 1):
        with pytest.raises(IndexError):
            rec[bad]
    f = rec[0]
    depth = f.depth
    assert not depth.flags.owndata and np.shares_memory(depth, f.depth)
    points = f.points
    del f  # the arrays keep their frame
    assert points[..., 0].max() > 0 and depth.max() > 0
    g = rec[1]
    h = g.copy()
    h.depth[:] = 0
    assert g.depth.max() > 0 and not np.shares_memory(g.depth, h.depth)


def test_damaged_cut_off_and_foreign_files(recording, tmp_path):
    whole = recording.read_bytes()
    frames = len(vezovad.open_recording(str(recording)))
    cut = tmp_path / "cut.bin"
    cut.write_bytes(whole[: len(whole) // 2])
    rec = vezovad.open_recording(str(cut))
    assert 0 < len(rec) < frames and rec.damaged >= 1
    assert len(list(rec)) == len(rec)

    spoiled = bytearray(whole)
    middle = len(whole) // 2
    spoiled[middle:middle + 64] = bytes(64)
    bad = tmp_path / "spoiled.bin"
    bad.write_bytes(bytes(spoiled))
    rec = vezovad.open_recording(str(bad))
    read = list(rec)
    assert frames - 2 <= len(read) < frames and rec.damaged >= 1

    for name, content in (("text.bin", b"not a recording\n" * 10), ("empty.bin", b"")):
        (tmp_path / name).write_bytes(content)
        with pytest.raises(vezovad.FormatError, match="is not a GX recording"):
            vezovad.open_recording(str(tmp_path / name))
    assert issubclass(vezovad.FormatError, ValueError)
    with pytest.raises(FileNotFoundError):
        vezovad.open_recording(str(tmp_path / "missing.bin"))
    with pytest.raises(IsADirectoryError):
        vezovad.open_recording(str(tmp_path))


def test_live_grab_configuration_and_status(emulator, tmp_path):
    with vezovad.connect(emulator.address, timeout=5) as gx:
        frames = list(gx.frames(50, timeout=5))
        numbers = [f.frame_number for f in frames]
        assert numbers == list(range(numbers[0], numbers[0] + 50))
        assert all(f.depth.shape == (100, 400) for f in frames)
        config = gx.configuration()
        assert config["fps"] == 25 and config["lens_coe"][:2] == [540.0, 540.0]
        assert len(config["vcsel_offset"]) == 96 and len(config["spad_offset"]) == 200
        status = gx.status()
        assert status is not None and status["frame_number"] > 0
        stats = gx.link_statistics()
        assert stats["frames_received"] >= 50 and stats["link_up"] is True
        assert stats["frames_dropped"] == 0 and stats["frames_overwritten"] == 0
        emulator.stop()
        with pytest.raises(TimeoutError, match="no frame"):
            for _ in gx.frames(timeout=0.3):
                pass
    assert gx.closed
    with pytest.raises(RuntimeError):
        next(iter(gx.frames(1)))


def test_unusable_addresses_and_silent_sensors():
    with pytest.raises(ValueError):
        vezovad.connect("127.0.0.1")
    with pytest.raises(ValueError):
        vezovad.connect("127.0.0.1:70000")
    silent = socket.socket()
    silent.bind(("127.0.0.1", 0))
    silent.listen(1)  # accepts in the kernel and never answers
    with silent, pytest.raises(TimeoutError, match="did not answer"):
        vezovad.connect("127.0.0.1:%d" % silent.getsockname()[1], timeout=0.3)
    closed = socket.socket()
    closed.bind(("127.0.0.1", 0))
    port = closed.getsockname()[1]
    closed.close()
    with pytest.raises(ConnectionRefusedError):
        vezovad.connect("127.0.0.1:%d" % port, timeout=1)


def test_reading_many_frames_keeps_memory_flat(recording):
    rec = vezovad.open_recording(str(recording))
    page = os.sysconf("SC_PAGE_SIZE")

    def resident():
        with open("/proc/self/statm") as f:
            return int(f.read().split()[1]) * page

    def read(n):
        for i in range(n):
            f = rec[i % len(rec)]
            f.depth.sum()
            f.xyz_m()

    read(100)
    before = resident()
    read(1000)
    assert resident() - before < 16 << 20


def test_mcap_export_is_the_converters(recording, tmp_path):
    rec = vezovad.open_recording(str(recording))
    for (start, stop, step), (first, last, every) in (((2, 20, 3), (2, 19, 3)), ((-5, None, 1), (len(rec) - 5, len(rec) - 1, 1))):
        ours, theirs = tmp_path / "ours.mcap", tmp_path / "theirs.mcap"
        assert rec.export_mcap(str(ours), start, stop, step) == len(range(first, last + 1, every))
        subprocess.run([os.environ["GX_CONVERT"], str(recording), str(theirs), "--format", "mcap", "--from", str(first),
                        "--to", str(last), "--every", str(every)], check=True, capture_output=True)
        assert ours.read_bytes() == theirs.read_bytes()
    with pytest.raises(ValueError):
        rec.export_mcap(str(tmp_path / "x.mcap"), step=0)
    with pytest.raises(OSError):
        rec.export_mcap(str(tmp_path))
