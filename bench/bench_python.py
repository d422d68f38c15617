"""Measures the vezovad package: reading a recording in order, and a live
stream over a given time. Run by bench_python, which prepares both."""
import resource
import sys
import time

import vezovad


def reading(path):
    rec = vezovad.open_recording(path)
    n = len(rec)
    t0 = time.perf_counter()
    for f in rec:
        pass
    plain = time.perf_counter() - t0
    t0 = time.perf_counter()
    total = 0
    for f in rec:
        total += int(f.depth[50, 200]) + f.points.shape[0]
    touched = time.perf_counter() - t0
    print("read in order: %d frames of %d x %d in %.2f s = %.0f frames/s" % (n, f.rows, f.cols, plain, n / plain))
    print("read in order, touching depth and points: %.0f frames/s" % (n / touched))
    print("peak resident memory after reading: %.0f MiB" % (resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024))


def live(address, seconds):
    with vezovad.connect(address) as gx:
        first = last = None
        received = missed = 0
        t0 = time.perf_counter()
        for f in gx.frames(timeout=2.0):
            if last is not None and f.frame_number != last + 1:
                missed += f.frame_number - last - 1
            if first is None:
                first = f.frame_number
            last = f.frame_number
            received += 1
            if time.perf_counter() - t0 >= seconds:
                break
        elapsed = time.perf_counter() - t0
        stats = gx.link_statistics()
    print("live: %d frames in %.1f s = %.2f frames/s; %d frame numbers skipped; library: %d dropped, %d overwritten"
          % (received, elapsed, received / elapsed, missed, stats["frames_dropped"], stats["frames_overwritten"]))


if __name__ == "__main__":
    reading(sys.argv[1])
    live(sys.argv[2], float(sys.argv[3]))
