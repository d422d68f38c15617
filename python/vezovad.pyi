"""Recordings and live GX sensors as numpy arrays."""
import os
from typing import Any, Dict, Iterable, Iterator, List, Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str

class FormatError(ValueError):
    """The file or answer is not what it claims to be (not a recording, a damaged record)."""

class Frame:
    """One frame; the arrays are views onto the frame's own storage (rows, cols)."""
    @property
    def rows(self) -> int: ...
    @property
    def cols(self) -> int: ...
    @property
    def frame_number(self) -> int: ...
    @property
    def timestamp(self) -> int:
        """Frame time in 10 ns ticks of the sensor clock."""
    @property
    def time(self) -> float:
        """Frame time in seconds of the sensor clock."""
    @property
    def ambient(self) -> npt.NDArray[np.uint16]: ...
    @property
    def depth(self) -> npt.NDArray[np.int32]:
        """Range in millimetres, or in bins in the bin stream modes."""
    @property
    def intensity(self) -> npt.NDArray[np.uint16]: ...
    @property
    def depth2(self) -> Optional[npt.NDArray[np.int32]]:
        """The second echo's range, or None when the stream has one echo."""
    @property
    def intensity2(self) -> Optional[npt.NDArray[np.uint16]]: ...
    @property
    def points(self) -> npt.NDArray[np.float64]:
        """x y z of every pixel in millimetres, shape (rows, cols, 3)."""
    @property
    def valid(self) -> npt.NDArray[np.bool_]:
        """The pixel carries a return."""
    def xyz_m(self) -> npt.NDArray[np.float64]:
        """The points in metres, as a new array."""
    def copy(self) -> "Frame":
        """An independent copy of the frame and its arrays."""

class Recording:
    """A GX recording read by the device library."""
    def __len__(self) -> int: ...
    def __getitem__(self, index: int) -> Frame: ...
    def __iter__(self) -> Iterator[Frame]: ...
    @property
    def damaged(self) -> int:
        """Records stepped over as damaged or cut off so far."""
    @property
    def path(self) -> str: ...
    def export_mcap(self, path: str, start: Optional[int] = None, stop: Optional[int] = None, step: int = 1) -> int:
        """Writes records range(start, stop, step) as one MCAP file (ROS 2 messages); returns the frames written."""

def open_recording(path: str) -> Recording:
    """Opens a recording: OSError when it cannot be read, FormatError when it is not one."""

class Sensor:
    """A stream session with a GX sensor; a context manager that disconnects on exit."""
    def frames(self, count: Optional[int] = None, timeout: float = 1.0) -> Iterator[Frame]:
        """Frames as the library receives them; TimeoutError when none comes within timeout seconds."""
    def configuration(self, timeout: float = 2.0) -> Dict[str, Union[int, float, List[Union[int, float]]]]:
        """The sensor's configuration record as a dict of its named fields (tables as lists)."""
    def status(self) -> Optional[Dict[str, Union[int, float]]]:
        """The newest status packet, or None before the first."""
    def link_statistics(self) -> Dict[str, Union[int, bool]]: ...
    def record(self, path: str) -> None:
        """Starts recording the live stream into path."""
    def stop_recording(self) -> int:
        """Finishes the recording; returns the frames written."""
    def close(self) -> None: ...
    @property
    def closed(self) -> bool: ...
    def __enter__(self) -> "Sensor": ...
    def __exit__(self, *args: Any) -> None: ...

def connect(device: str, local: Optional[str] = None, timeout: float = 5.0) -> Sensor:
    """Connects to the sensor at device="IP:PORT" and starts its stream."""

Region = Tuple[int, int, int, int]  # x, y, width, height (columns x .. x+width-1, rows y .. y+height-1)

def depth_quality(frames: Iterable[Frame], region: Optional[Region] = None, target: str = "wall",
                  ground_truth: Optional[float] = None, channels: Optional[int] = None) -> Dict[str, Any]:
    """The depth quality tool's figures and verdict over the frames: 'frames', 'region', 'fill_rate_percent',
    'outliers_percent', 'distance_mm', 'plane_rms_mm', 'plane_angle_deg', 'temporal_noise_mm', 'z_accuracy_mm',
    'z_accuracy_percent', 'channel_spread_mm', 'row_spread_mm' (None where not measured or not holding),
    'column_error_mm' (numpy, NaN where too few inliers), 'holds' and 'verdict' (the tool's text).
    region: default the central half; target: 'wall' or 'sphere'; ground_truth: the target's range (mm);
    channels: VCSEL channels of the channel spread. ValueError for no frames or a region that does not fit."""

def pixel_maps(frames: Iterable[Frame], region: Optional[Region] = None, target: str = "wall") -> Dict[str, Any]:
    """The per-pixel maps over the frames (docs/acceptance.md): 'valid_rate' (%), 'mean_error' (mm from the
    fitted surface) and 'sigma' (temporal standard deviation, mm), float64 arrays (height, width) of the region
    with NaN where there is no value; 'dead' and 'noisy' as int arrays (n, 2) of frame rows and columns;
    'median_sigma', 'noisy_factor', 'region', 'frames'."""

def verify(*, device: Optional[str] = None, local: str = "", recording: Optional[Union[str, "os.PathLike[str]"]] = None,
           target: str = "wall", range_mm: float, region: Optional[Region] = None, frames: int = 30,
           channels: Optional[int] = None, limits: Optional[Union[str, "os.PathLike[str]"]] = None,
           report: Optional[Union[str, "os.PathLike[str]"]] = None,
           json: Optional[Union[str, "os.PathLike[str]"]] = None) -> Dict[str, Any]:
    """gx_verify's acceptance check of a sensor (device="IP:PORT") or a recording (channels needed) against the
    shipped limits or a limits file; writes the HTML report and its JSON when paths are given. Returns the
    report's data (the JSON of docs/acceptance-report.schema.json as a dict) with 'summary' (gx_verify's line)
    and 'exit_status' (0 pass, 1 fail, 2 could not measure or could not connect). ValueError for a refused
    limits file or arguments out of range."""
