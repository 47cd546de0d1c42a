#!/usr/bin/env python3
"""Download speed of the tool against the platform's own limit and curl, in
the same run from the same local server: the tool (Start click to the last
byte, and to message 8), the bare WinINet loop with the same flags and read
rule, and curl -o. Prints figures; asserts nothing.

    python3 tools/bench/bench.py [--size-mib 256] [--runs 3]

Expects the Windows build in build/windows (bash tools/bench/run.sh builds it).
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BENCH_DIR = os.path.join(ROOT, "build", "bench")
os.environ.setdefault("CVELTRIX_E2E_DIR", os.path.join(BENCH_DIR, "session"))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import harness  # noqa: E402
from harness import IDCANCEL, IDOK, START, App, server, test_server, wait_until  # noqa: E402

MB = 1_000_000
BARE_LOOP = os.path.join(harness.BUILD_DIR, "bench", "bare_loop.exe")


def tool_process(app):
    """The Linux pid of the tool's Windows process."""
    found = subprocess.run(["pgrep", "-f", app.exe], capture_output=True, text=True).stdout.split()
    return int(found[0])


def proc_figures(pid):
    with open(f"/proc/{pid}/status") as f:
        peak = next(int(line.split()[1]) for line in f if line.startswith("VmHWM"))
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    cpu = (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    return peak, cpu


def run_tool(srv, kind="local"):
    """Seconds from the click to the last byte and to message 8, peak KiB, CPU
    s, and the transfer request alone (its start to its last byte) with the
    bytes of the probe's body the client read before it let go."""
    with App(kind) as app:
        srv.clear_requests()
        started = time.time()
        app.click(START)
        wait_until(lambda: len(srv.requests()) >= 2 and srv.requests()[1]["done"], 600, 0.25, "the transfer")
        last_byte = time.time()
        probe, transfer = srv.requests()[:2]
        transfer_only = last_byte - transfer["time"]
        box = app.popup(600)
        message = time.time()
        assert box["message"].startswith("Download is complete"), box
        peak, cpu = proc_figures(tool_process(app))
        assert os.path.getsize(app.temp_path) == os.path.getsize(srv.content.path)
        app.answer(IDOK)
        app.answer(IDCANCEL)  # the picker: keep the file out of the desktop
        os.remove(app.temp_path)
    return last_byte - started, message - started, peak, cpu, transfer_only, probe["body_bytes"]


def run_bare(srv):
    out = os.path.join(BENCH_DIR, "bare.out")
    driver = harness.Driver(harness.load_session())
    started = time.time()
    with open(os.path.join(BENCH_DIR, "bare.txt"), "wb") as log:
        subprocess.run(["wine", BARE_LOOP, srv.url, out], env=driver.env, stdin=subprocess.DEVNULL, stdout=log,
                       stderr=subprocess.DEVNULL, check=True)
    elapsed = time.time() - started
    assert os.path.getsize(out) == os.path.getsize(srv.content.path)
    os.remove(out)
    return elapsed


def run_curl(srv):
    out = os.path.join(BENCH_DIR, "curl.out")
    started = time.time()
    subprocess.run(["curl", "-sg", "-o", out, srv.url], check=True)
    elapsed = time.time() - started
    os.remove(out)
    return elapsed


def summary(name, times, size):
    best, median = min(times), statistics.median(times)
    print(f"{name:<28} min {best:7.2f} s  median {median:7.2f} s  {size / MB / median:8.1f} MB/s")
    return median


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size-mib", type=int, default=256)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--pinned-exe", help="a build of the tool that pins the sample's SHA-256")
    args = parser.parse_args()
    if args.pinned_exe:
        harness.EXES["bench-pinned"] = args.pinned_exe
    os.makedirs(BENCH_DIR, exist_ok=True)
    size = args.size_mib * 1024 * 1024
    sample = os.path.join(BENCH_DIR, f"sample-{args.size_mib}.bin")
    if not os.path.exists(sample) or os.path.getsize(sample) != size:
        test_server.write_sample(test_server.GeneratedContent(size), sample)

    harness.setup_session()
    try:
        tool, to_message, bare, curl, peaks, cpus, verify, transfers, drained = [], [], [], [], [], [], [], [], []
        with server(test_server.FileContent(sample)) as srv:
            for _ in range(args.runs):  # interleaved, so drift hits all three alike
                seconds, message, peak, cpu, transfer_only, probe_bytes = run_tool(srv)
                tool.append(seconds)
                transfers.append(transfer_only)
                drained.append(probe_bytes)
                to_message.append(message)
                peaks.append(peak)
                cpus.append(cpu)
                bare.append(run_bare(srv))
                curl.append(run_curl(srv))
                if args.pinned_exe:
                    seconds, message, *_ = run_tool(srv, "bench-pinned")
                    verify.append((message - seconds, seconds))
        print(f"{args.size_mib} MiB from 127.0.0.1, {args.runs} runs each")
        t = summary("tool (click to last byte)", tool, size)
        summary("tool (click to message 8)", to_message, size)
        summary("tool (transfer request only)", transfers, size)
        b = summary("bare WinINet loop", bare, size)
        c = summary("curl -o", curl, size)
        print(f"tool / bare loop speed: {b / t:.2f}x   tool / curl speed: {c / t:.2f}x")
        print("probe body read before closing (MiB): " + ", ".join(f"{d / 2**20:.0f}" for d in drained))
        print(f"tool peak memory (VmHWM): {max(peaks) / 1024:.1f} MiB   CPU per run: {statistics.median(cpus):.2f} s")
        if verify:
            # Last byte to message 8 in the pinned build, less the same span
            # without a pin, against the time the transfer itself takes.
            plain = statistics.median(m - t for m, t in zip(to_message, tool))
            extra = statistics.median(span for span, _ in verify) - plain
            download = statistics.median(transfers)
            print("last byte to message 8, pinned: " + ", ".join(f"{span:.2f}" for span, _ in verify) +
                  f" s; unpinned median {plain:.2f} s")
            print(f"SHA-256 check of the finished file: {extra:.2f} s = {100 * extra / download:.1f} % of the download")
    finally:
        harness.teardown_session()


if __name__ == "__main__":
    main()
