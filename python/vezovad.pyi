"""Recordings and live GX sensors as numpy arrays."""
from typing import Any, Dict, Iterator, List, Optional, Union

import numpy as np
import numpy.typing as npt

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
