"""gx_verify against the emulator (calibrated and uncalibrated walls, the
corridor, a silent sensor), its HTML report read by html.parser and its JSON
checked against the schema; vezovad.depth_quality, pixel_maps and verify."""
import base64
import html.parser
import json
import os
import pathlib
import socket
import subprocess

import jsonschema
import numpy as np
import pytest

import vezovad
from conftest import Emulator

SCHEMA = json.loads((pathlib.Path(__file__).parents[2] / "docs" / "acceptance-report.schema.json").read_text())
VOID = {"meta", "img", "br", "hr", "link", "input"}


class Report(html.parser.HTMLParser):
    """Every element closed in order, and what a self-contained report may hold."""

    def __init__(self):
        super().__init__()
        self.open, self.images, self.tags, self.text = [], [], set(), []

    def handle_starttag(self, tag, attrs):
        self.tags.add(tag)
        if tag == "img":
            self.images.append(dict(attrs)["src"])
        elif tag not in VOID:
            self.open.append(tag)

    def handle_endtag(self, tag):
        assert self.open and self.open[-1] == tag, "</%s> closes <%s>" % (tag, self.open[-1:] or "nothing")
        self.open.pop()

    def handle_data(self, data):
        self.text.append(data)


def check_report(html_path, json_path, images=6):
    page = Report()
    page.feed(pathlib.Path(html_path).read_text(encoding="utf-8"))
    page.close()
    assert page.open == [], "unclosed: %s" % page.open
    assert "script" not in page.tags and "link" not in page.tags
    assert len(page.images) == images  # three maps and their colour scales, or none without frames
    for src in page.images:
        assert src.startswith("data:image/png;base64,")
        assert base64.b64decode(src.split(",", 1)[1])[:8] == b"\x89PNG\r\n\x1a\n"
    data = json.loads(pathlib.Path(json_path).read_text())
    jsonschema.validate(data, SCHEMA)
    return " ".join(page.text), data


def gx_verify(tmp_path, *args):
    out = subprocess.run([os.environ["GX_VERIFY"], *args, "--report", str(tmp_path / "r.html"), "--json", str(tmp_path / "r.json")],
                         capture_output=True, text=True, timeout=60)
    assert out.stdout.count("\n") == 1, out.stdout + out.stderr
    return out.returncode, out.stdout.strip()


@pytest.fixture
def emulator_of(tmp_path):
    started = []

    def start(*args):
        started.append(Emulator(tmp_path / ("state%d" % len(started)), "--fps", "25", *args))
        return started[-1]
    yield start
    for emu in started:
        emu.stop()


def test_calibrated_wall_passes_and_its_report_holds_together(emulator_of, tmp_path):
    emu = emulator_of("--scene", "wall", "--target-range", "2")
    code, line = gx_verify(tmp_path, "--device", emu.address, "--local", "127.0.0.1:0", "--target", "wall", "--range", "2000")
    assert code == 0 and line.startswith("PASS: ") and "GX0-EMU-0001" in line, line
    text, data = check_report(tmp_path / "r.html", tmp_path / "r.json")
    assert data["result"] == "pass"
    assert data["sensor"]["serial_number"] == "GX0-EMU-0001" and data["sensor"]["firmware_version"] == "1.4.2"
    assert "GX0-EMU-0001" in text and "1.4.2" in text and data["sensor"]["calibration_sha256"] in text
    assert data["setup"]["channels"] == 64 and data["setup"]["frames_measured"] == 30
    figures = {m["name"]: m["value"] for m in data["metrics"]}
    assert 99.9 <= figures["fill_rate_percent"] <= 100 and 5 < figures["z_accuracy_mm"] < 15
    assert figures["channel_spread_mm"] < 3 and figures["dead_pixels"] == 0
    assert len(data["maps"]["valid_rate_percent"]) == 50 and len(data["maps"]["valid_rate_percent"][0]) == 200
    assert all(v["result"] == "pass" and v["min"] <= v["max"] for v in data["status"]["values"])
    assert data["status"]["records"] >= 1


def test_uncalibrated_wall_fails_on_the_channel_spread(emulator_of, tmp_path):
    emu = emulator_of("--scene", "wall", "--target-range", "2", "--uncalibrated")
    code, line = gx_verify(tmp_path, "--device", emu.address, "--target", "wall", "--range", "2000")
    assert code == 1 and line.startswith("FAIL: ") and "Channel spread" in line, line
    _, data = check_report(tmp_path / "r.html", tmp_path / "r.json")
    spread = next(m for m in data["metrics"] if m["name"] == "channel_spread_mm")
    assert spread["result"] == "fail" and spread["value"] > 30


def test_corridor_and_silent_sensors_could_not_be_measured(emulator_of, tmp_path):
    emu = emulator_of("--scene", "corridor")
    code, line = gx_verify(tmp_path, "--device", emu.address, "--target", "wall", "--range", "2000", "--frames", "10")
    assert code == 2 and line.startswith("COULD NOT MEASURE: "), line
    _, data = check_report(tmp_path / "r.html", tmp_path / "r.json")
    assert data["result"] == "could not measure" and "PASS" not in line

    silent = socket.socket()
    silent.bind(("127.0.0.1", 0))
    silent.listen(1)  # accepts in the kernel and never answers
    with silent:
        code, line = gx_verify(tmp_path, "--device", "127.0.0.1:%d" % silent.getsockname()[1], "--target", "wall", "--range", "2000")
    assert code == 2 and line.startswith("COULD NOT CONNECT: ") and "did not answer" in line, line
    text, data = check_report(tmp_path / "r.html", tmp_path / "r.json", images=0)
    assert "No maps: no frame was measured" in text and data["sensor"]["serial_number"] is None


def test_command_line_answers(tmp_path):
    helped = subprocess.run([os.environ["GX_VERIFY"], "--help"], capture_output=True, text=True)
    assert helped.returncode == 0 and all(o in helped.stdout for o in (
        "--device", "--local", "--recording", "--target", "--range", "--region", "--frames", "--channels", "--limits",
        "--report", "--json"))
    wrong = subprocess.run([os.environ["GX_VERIFY"], "--bogus"], capture_output=True, text=True)
    assert wrong.returncode == 2 and "--bogus" in wrong.stderr and wrong.stdout == ""
    bad = tmp_path / "limits.csv"
    bad.write_text("name,low,high\nfill_rate_percent,,99\n")
    refused = subprocess.run([os.environ["GX_VERIFY"], "--recording", "x.bin", "--target", "wall", "--range", "2000",
                              "--limits", str(bad), "--report", str(tmp_path / "r.html")], capture_output=True, text=True)
    assert refused.returncode == 2 and "line 2: fill_rate_percent: a lower bound only" in refused.stderr
    assert not (tmp_path / "r.html").exists()


def test_python_figures_maps_and_verify_agree_with_gx_verify(emulator_of, tmp_path):
    emu = emulator_of("--scene", "wall", "--target-range", "2")
    rec = tmp_path / "wall.bin"
    with vezovad.connect(emu.address) as gx:
        gx.record(str(rec))
        for _ in gx.frames(35, timeout=5):
            pass
        gx.stop_recording()
    frames = [vezovad.open_recording(str(rec))[i] for i in range(30)]
    dq = vezovad.depth_quality(frames, ground_truth=2000, channels=64)
    assert dq["holds"] and dq["verdict"] == "Figures hold" and dq["frames"] == 30 and dq["region"] == (100, 25, 200, 50)
    assert abs(dq["distance_mm"] - 2010) < 3 and dq["plane_angle_deg"] < 0.3
    maps = vezovad.pixel_maps(frames)
    assert maps["valid_rate"].shape == (50, 200) and maps["valid_rate"].dtype == np.float64
    assert maps["dead"].shape == (0, 2) and np.isfinite(maps["sigma"]).all()
    assert abs(np.nanmedian(maps["sigma"]) - dq["temporal_noise_mm"]) < 1

    data = vezovad.verify(recording=rec, range_mm=2000, channels=64, report=tmp_path / "p.html", json=tmp_path / "p.json")
    assert data["result"] == "pass" and data["exit_status"] == 0 and data["summary"].startswith("PASS: ")
    assert data["sensor"]["serial_number"] is None and "recording" in data["sensor"]["serial_number_note"]
    check_report(tmp_path / "p.html", tmp_path / "p.json")
    code, _ = gx_verify(tmp_path, "--recording", str(rec), "--channels", "64", "--target", "wall", "--range", "2000")
    cli = json.loads((tmp_path / "r.json").read_text())
    assert code == 0 and cli["metrics"] == data["metrics"] and cli["maps"] == data["maps"]
    assert data["metrics"][0]["value"] == dq["fill_rate_percent"]
    with pytest.raises(ValueError, match="no bound for"):
        (tmp_path / "l.csv").write_text("name,low,high\n")
        vezovad.verify(recording=rec, range_mm=2000, limits=tmp_path / "l.csv")
