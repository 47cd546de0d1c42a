#!/usr/bin/env bash
# Builds the Windows executable and starts it under Wine.
#
#   bash run.sh              demo: a local server on 127.0.0.1 serves a sample
#                            installer, slowly enough to watch the progress,
#                            and the tool is built to fetch it from there
#   bash run.sh --url URL    builds the tool for URL (e.g. the vendor's) and runs it
#
# With no DISPLAY it starts its own Xvfb, saves a screenshot of the window,
# prints its path and exits instead of waiting for a user who is not there.
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD

url=""
if [[ "${1:-}" == "--url" ]]; then
    url=${2:?"--url needs a URL"}
fi

bash tools/setup.sh
run_dir=$root/build/run
mkdir -p "$run_dir/home/Desktop" "$run_dir/app"

port=47321
sample_size=$((8 * 1024 * 1024))
if [[ -n "$url" ]]; then
    build=build/windows-url
    options=("-DDOWNLOAD_URL=$url")
else
    # The demo fetches the sample from the local server and pins its digest,
    # so the run shows the verified path.
    build=build/windows-demo
    sha=$(python3 tests/server/test_server.py --sha256 --size "$sample_size")
    options=("-DDOWNLOAD_URL=$(python3 tests/server/test_server.py --print-url --port "$port")"
             "-DDOWNLOAD_SHA256=$sha")
fi
cmake --preset windows -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" --target cveltrix -j2
exe=$root/$build/bin/Cveltrix.exe
cp "$exe" "$run_dir/app/Cveltrix.exe"

pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    WINEPREFIX=$run_dir/prefix wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT

if [[ -z "$url" ]]; then
    python3 tests/server/test_server.py --port "$port" --size "$sample_size" \
        --rate $((1024 * 1024)) --log "$run_dir/server.log" >"$run_dir/server.out" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do grep -q "http://" "$run_dir/server.out" 2>/dev/null && break; sleep 0.1; done
    if ! grep -q "http://" "$run_dir/server.out"; then
        echo "The demo server did not start (is port $port taken?):" >&2
        tail -3 "$run_dir/server.out" >&2
        exit 1
    fi
    echo "Demo server: $(head -1 "$run_dir/server.out") (log: $run_dir/server.log)"
fi

headless=0
if [[ -z "${DISPLAY:-}" ]]; then
    headless=1
    for n in $(seq 90 130); do [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] || break; done
    Xvfb ":$n" -screen 0 1024x768x24 >/dev/null 2>&1 &
    pids+=($!)
    export DISPLAY=":$n"
    for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi

export WINEPREFIX=$run_dir/prefix HOME=$run_dir/home WINEDEBUG=-all
if [[ ! -f "$WINEPREFIX/cveltrix-settings.reg" ]]; then
    echo "Creating the Wine prefix (once, ~15 s)..."
    python3 tests/e2e/harness.py prefix
fi
wineserver -p >/dev/null 2>&1 || true

echo "Downloads land in $run_dir/app (temp file) and the folder you pick (desktop: $run_dir/home/Desktop)."
if ((headless == 0)); then
    wine "$run_dir/app/Cveltrix.exe" >"$run_dir/wine.log" 2>&1
    exit 0
fi

wine "$run_dir/app/Cveltrix.exe" >"$run_dir/wine.log" 2>&1 &
pids+=($!)
shot=$run_dir/screenshot.png
for _ in $(seq 300); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"Cveltrix Downloader"'; then
        sleep 1  # let the first paint finish
        import -window root "$shot"
        echo "No DISPLAY: the tool ran on a private Xvfb display. Screenshot of its window: $shot"
        echo "Run with DISPLAY set (a desktop session or X forwarding) to use the tool."
        exit 0
    fi
    sleep 0.1
done
echo "The window did not appear within 30 s; see $run_dir/wine.log" >&2
exit 1
