#!/usr/bin/env bash
# Remakes the README's pictures of the main window in English and in
# Japanese from the end-to-end suite's screenshots, taken while a download
# runs, each cut to the window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash test.sh -R 'e2e\.session|FreshDownload\.test_(japanese_messages_along_the_way|busy_controls_while_the_bytes_arrive)'
shots=build/native/tests/e2e/session/screenshots
mkdir -p docs
for lang in en ja; do
    # The window is all there is on the test display; -strip keeps the file
    # free of dates, so remaking it changes nothing that did not change.
    convert "$shots/downloading-$lang.png" -trim +repage -strip "docs/main-window-$lang.png"
done
echo "docs/main-window-en.png and docs/main-window-ja.png remade"
