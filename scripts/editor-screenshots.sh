#!/bin/sh
# Screenshots of the frei0r plug-in's panel in Kdenlive and in Shotcut, as
# a user sees it: each editor runs under Xvfb on a 1600x1000 screen with
# the plug-in of the build tree (FREI0R_PATH) and the descriptions written
# beside it, the sample clip gets Devidoriv, xdotool does what the user's
# mouse would, and ImageMagick's import takes the screen.
#   scripts/editor-screenshots.sh BUILD_DIR CLIP KDENLIVE.png SHOTCUT.png
# The places clicked are those of Kdenlive 22.12 and Shotcut 22.12 (Debian
# 12) in a new user's layout: the editors run with a HOME of their own.
# Kdenlive reads the effect from the user's data folder; Shotcut reads
# filters only from its own share folder, so the built folder goes there
# for the run (as root) and is taken away again unless it was there.
# make editors-deps installs what this needs.
set -eu
if [ -z "${DEVIDORIV_IN_XVFB:-}" ]; then
    exec xvfb-run -a -s '-screen 0 1600x1000x24' \
        dbus-run-session -- env DEVIDORIV_IN_XVFB=1 "$0" "$@"
fi
build=$(cd "$1" && pwd) clip=$2 kdenlive_png=$3 shotcut_png=$4
work=$(mktemp -d)
shotcut_filter=/usr/share/shotcut/qml/filters/devidoriv
editor=""
cleanup() {
    [ -z "$editor" ] || kill -9 "$editor" 2>/dev/null || true
    [ ! -f "$work/placed" ] || rm -rf "$shotcut_filter"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM
fail() { echo "editor-screenshots: $*" >&2; exit 1; }

export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/home/.config
export XDG_DATA_HOME=$work/home/.local/share FREI0R_PATH=$build/frei0r DEVIDORIV_WISDOM=off
mkdir -p "$XDG_DATA_HOME/kdenlive/effects" "$XDG_CONFIG_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
cp "$build/editors/kdenlive/frei0r_devidoriv.xml" "$XDG_DATA_HOME/kdenlive/effects/"
if ! diff -r "$build/editors/shotcut/devidoriv" "$shotcut_filter" > /dev/null 2>&1; then
    [ ! -e "$shotcut_filter" ] || fail "$shotcut_filter holds another version"
    cp -r "$build/editors/shotcut/devidoriv" "$shotcut_filter" || fail "cannot write $shotcut_filter"
    touch "$work/placed"
fi
ffmpeg -nostdin -v error -i "$clip" -c:v libx264 -crf 18 -pix_fmt yuv420p "$work/clip.mp4"

# Starts the editor of window class $1 and waits for its windows.
start() {
    class=$1
    shift
    "$@" > "$work/editor.log" 2>&1 &
    editor=$!
    xdotool search --sync --onlyvisible --class "$class" > /dev/null
    sleep 20
}
# The main window, the largest of the editor's, over the whole screen.
fill_screen() {
    window=$(xdotool search --onlyvisible --class "$class" | while read -r w; do
        eval "$(xdotool getwindowgeometry --shell "$w")"
        echo "$((WIDTH * HEIGHT)) $w"
    done | sort -n | tail -n 1 | cut -d ' ' -f 2)
    xdotool windowsize "$window" 1600 1000
    sleep 3
}
stop() {
    kill -9 "$editor"
    wait "$editor" 2>/dev/null || true
    editor=""
}
# With DEVIDORIV_SCREENSHOT_STEPS naming a folder, the screen after each
# click and drag goes there, to see where a changed layout went astray.
steps=0
step_shot() {
    [ -n "${DEVIDORIV_SCREENSHOT_STEPS:-}" ] || return 0
    steps=$((steps + 1))
    import -window root "$DEVIDORIV_SCREENSHOT_STEPS/step-$steps.png"
}
click() {
    xdotool mousemove "$1" "$2" click --repeat "${3:-1}" --delay 100 1
    sleep 2
    step_shot
}
# Types $3 into the number field at $1 $2.
type_value() {
    click "$1" "$2"
    xdotool key ctrl+a type "$3"
    xdotool key Return
    sleep 2
    step_shot
}
# Presses at $1 $2 and lets go at $3 $4, by way of a few points.
drag() {
    xdotool mousemove "$1" "$2" mousedown 1
    for step in 1 2 3 4; do
        xdotool mousemove $(($1 + ($3 - $1) * step / 4)) $(($2 + ($4 - $2) * step / 4))
        sleep 0.3
    done
    xdotool mouseup 1
    sleep 2
    step_shot
}
# The screen, cut to what shows the editor's panel and its monitor.
shot() {
    import -window root "$work/screen.png"
    convert "$work/screen.png" -crop "$2" +repage -resize 75% -dither FloydSteinberg -colors 256 \
        "PNG8:$1"
}

# Kdenlive: the clip into the timeline, Devidoriv from the effect list's
# Misc category onto it, then the Effects layout with the timeline made
# small, so that the whole effect shows.
start kdenlive kdenlive -i "$work/clip.mp4"
click 738 404         # "Continue": the project takes the clip's profile
fill_screen
drag 60 114 175 704   # the clip from the bin to the start of track V1
click 185 704         # select it
click 236 466         # the Effects tab
click 40 286          # open the Misc category
click 140 406 2       # Devidoriv frequency filter, onto the selected clip
click 180 562         # the ruler over the clip: the project monitor shows it
click 1511 18         # the Effects layout
drag 800 576 800 900  # the timeline's top edge down
type_value 880 405 40 # luma radius a 40 px
type_value 880 435 30 # luma radius b 30 px
shot "$kdenlive_png" 1600x780+0+0
stop

# Shotcut: the clip opened with Devidoriv on it (the demo's radii: luma a
# 40, b 30, chroma a 20, b 15), the Filters tab, and the timeline and
# keyframes panels closed, so that the whole panel shows.
cat > "$work/clip.mlt" <<EOF
<?xml version="1.0" encoding="utf-8"?>
<mlt LC_NUMERIC="C" producer="clip">
  <producer id="clip">
    <property name="resource">$work/clip.mp4</property>
    <property name="mlt_service">avformat</property>
    <filter id="devidoriv">
      <property name="mlt_service">frei0r.devidoriv</property>
      <property name="shotcut:filter">devidoriv</property>
      <property name="0">0.009765625</property>
      <property name="1">0.00732421875</property>
      <property name="4">0.0048828125</property>
      <property name="5">0.003662109375</property>
      <property name="12">0</property>
    </filter>
  </producer>
</mlt>
EOF
start shotcut shotcut "$work/clip.mlt"
fill_screen
click 102 708   # the Filters tab
click 1593 740  # close the timeline
click 1593 740  # close the keyframes
shot "$shotcut_png" 1280x1000+0+0
stop
echo "editor-screenshots: $kdenlive_png, $shotcut_png"
