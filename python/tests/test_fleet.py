"""A fleet of recordings verified on a Dask distributed cluster of two worker
processes, one task per recording, gives the figures of the serial run
(docs/python.md)."""
import pytest

import vezovad
from conftest import Emulator

distributed = pytest.importorskip("distributed")


def test_four_recordings_on_a_local_cluster_give_the_serial_figures(tmp_path):
    paths = []
    for seed in range(1, 5):  # four units, one recording each
        emu = Emulator(tmp_path / ("state%d" % seed), "--fps", "25", "--scene", "wall", "--target-range", "2",
                       "--seed", str(seed), *(["--uncalibrated"] if seed == 4 else []))
        try:
            path = tmp_path / ("unit%d.bin" % seed)
            with vezovad.connect(emu.address) as gx:
                gx.record(str(path))
                for _ in gx.frames(32, timeout=5):
                    pass
                gx.stop_recording()
            paths.append(str(path))
        finally:
            emu.stop()

    def verify(path):
        return vezovad.verify(recording=path, target="wall", range_mm=2000, channels=64)

    serial = [verify(p) for p in paths]
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        parallel = client.gather(client.map(verify, paths))
        assert len(client.scheduler_info()["workers"]) == 2
    assert [r["result"] for r in serial] == ["pass", "pass", "pass", "fail"]
    for one, other in zip(serial, parallel):
        assert one["metrics"] == other["metrics"] and one["maps"] == other["maps"] and one["status"] == other["status"]
        assert one["result"] == other["result"] and one["reason"] == other["reason"]
