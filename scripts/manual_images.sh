#!/usr/bin/env bash
# Refreshes the user manual's pictures (docs/manual/images) from the screenshots the editor's
# tests write into a build folder: run the editor tests first (ctest -R 'MainWindow|Xvfb|Views').
# Needs ImageMagick's convert (installed by scripts/setup.sh).
set -euo pipefail
BUILD=${1:-build}
cd "$(dirname "$0")/.."
UI=$BUILD/tests/editor/ui
APP=$BUILD/tests/editor/app
OUT=docs/manual/images
mkdir -p "$OUT"
shot() {  # shot SOURCE TARGET [convert options...]
  local src=$1 dst=$2; shift 2
  if [ -f "$src" ]; then convert "$src" "$@" "$OUT/$dst"; else echo "manual: $src is missing" >&2; fi
}
shot "$UI/main_window.png" main_window.png -resize 960x
shot "$UI/main_window_file_menu.png" file_menu.png -crop 420x330+0+0 +repage
shot "$UI/main_window_edit_menu.png" edit_menu.png -crop 420x270+0+0 +repage
shot "$UI/main_window_options_menu.png" options_menu.png -crop 420x270+0+0 +repage
shot "$UI/main_window_render_menu.png" render_menu.png -crop 420x250+0+0 +repage
shot "$UI/main_window_view_menu.png" view_menu.png -crop 460x250+0+0 +repage
shot "$UI/main_window_host_file_menu.png" host_file_menu.png -crop 420x200+0+0 +repage
shot "$UI/main_window.png" status_panel.png -crop 640x140+0+884 +repage
shot "$UI/progress_panel.png" progress_panel.png -crop 420x260+0+0 +repage
shot "$APP/xvfb_host_edit.png" host_edit.png -resize 960x
for f in timeline_keys viewer_safe_area stage_rotated_frame; do
  for b in "$BUILD" build-e2 build-e1; do
    if [ -f "$b/tests/editor/ui/$f.png" ]; then cp "$b/tests/editor/ui/$f.png" "$OUT/$f.png"; break; fi
  done
done
ls -la "$OUT"
