#!/usr/bin/env python3
"""Throughput of the test server over loopback, measured with curl: a file
served with sendfile, the generated content, and how closely a throttled
answer keeps its rate. Prints figures; asserts nothing.

    python3 tests/server/bench_server.py [--size-mib 256] [--runs 5]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile

from test_server import SERVED_PATH, GeneratedContent, write_sample

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "test_server.py")
MB = 1_000_000


def start_server(*args):
    process = subprocess.Popen([sys.executable, SCRIPT, "--port", "0", *args], stdout=subprocess.PIPE, text=True)
    url = process.stdout.readline().strip()
    if not url.endswith(SERVED_PATH):
        process.kill()
        raise SystemExit(f"the server did not start: {url!r}")
    return process, url


def curl_speed(url):
    """Bytes per second of one download, as curl measured it."""
    result = subprocess.run(["curl", "-sg", "-o", os.devnull, "-w", "%{speed_download} %{size_download}", url],
                            capture_output=True, text=True, check=True)
    speed, size = result.stdout.split()
    return float(speed), int(size)


def measure(label, runs, expected_size, *server_args):
    process, url = start_server(*server_args)
    try:
        speeds = []
        for _ in range(runs):
            speed, size = curl_speed(url)
            if size != expected_size:
                raise SystemExit(f"{label}: {size} bytes arrived, not {expected_size}")
            speeds.append(speed / MB)
    finally:
        process.terminate()
        process.wait()
    print(f"{label:<34} min {min(speeds):8.1f}  median {statistics.median(speeds):8.1f}  "
          f"max {max(speeds):8.1f} MB/s  ({runs} runs)")
    return speeds


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size-mib", type=int, default=256)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    size = args.size_mib * 1024 * 1024
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "installer.exe")
        write_sample(GeneratedContent(size), path)
        print(f"{args.size_mib} MiB over 127.0.0.1, curl -o {os.devnull}")
        measure("file (sendfile)", args.runs, size, "--file", path)
        measure("file, wrong-bytes (read+send)", args.runs, size, "--file", path, "--mode", "wrong-bytes")
    measure("generated content", args.runs, size, "--size", str(size))
    rate = 4 * MB
    speed = measure(f"throttled to {rate // MB} MB/s", 1, 2 * rate, "--size", str(2 * rate), "--rate", str(rate))
    print(f"throttle accuracy: {speed[0] * MB / rate:.3f} of the asked rate")


if __name__ == "__main__":
    main()
