# Shared by the scripts that drive the real programs under Xvfb: the display, background processes and
# temporary folders cleaned up on exit, waiting, screenshots, finding windows, reading workbooks.
# Source it after setting `script` (the calling script's name, for messages) and `output` (where
# screenshots go); then call gui_build and gui_display.
# Environment: VELTRUM_BUILD (build folder, default "build"), KEEP=1 keeps the temporary folders.

build=${VELTRUM_BUILD:-build}
gui_pids=()
gui_mounts=()
gui_folders=()

say() { echo "$script: $*"; }
# A script may define gui_on_failure to say more before it ends.
fail() {
    echo "$script: FAILED: $*" >&2
    [[ -n ${DISPLAY:-} && -n ${output:-} ]] && /usr/bin/import -window root "$output/failure.png" 2>/dev/null
    declare -F gui_on_failure >/dev/null && gui_on_failure
    exit 1
}

gui_cleanup() {
    for pid in "${gui_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    sleep 0.3
    for pid in "${gui_pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
    for m in "${gui_mounts[@]}"; do umount "$m" 2>/dev/null || true; done
    if [[ ${KEEP:-0} != 1 ]]; then
        for f in "${gui_folders[@]}"; do rm -rf "$f"; done
    elif [[ ${#gui_folders[@]} -gt 0 ]]; then
        echo "$script: kept ${gui_folders[*]}"
    fi
}
trap gui_cleanup EXIT

# Runs in the background and is killed on exit; the pid is in $!.
gui_track() { gui_pids+=("$1"); }
# A new temporary folder, removed on exit (KEEP=1 keeps it).
gui_folder() {
    local folder
    folder=$(mktemp -d "/tmp/veltrum-$1-XXXXXX")
    chmod 755 "$folder"
    gui_folders+=("$folder")
    echo "$folder"
}

# Builds the programs the script runs (targets as arguments).
gui_build() {
    if [[ ! -f $build/build.ninja ]]; then
        cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
    cmake --build "$build" -j2 --target "$@" >/dev/null
    veltrum=$(pwd)/$build/src/app/veltrum
    tablet=$(pwd)/$build/src/tablet/veltrum-tablet
}

quietly() { "$@" >/dev/null 2>&1; }

# Returns 1 when the command has not succeeded within the seconds (polled every 0.1 s).
wait_until() { # seconds, command...
    local limit=$1
    shift
    for _ in $(seq $((limit * 10))); do
        if "$@"; then return 0; fi
        sleep 0.1
    done
    return 1
}

# Fails the script when the command has not succeeded within the seconds.
wait_for() { # seconds, description, command...
    local limit=$1 what=$2
    shift 2
    wait_until "$limit" "$@" || fail "timed out waiting for $what"
}

# A display of its own (set in DISPLAY); -ac lets other users' programs reach it, -noreset keeps it up
# when its last client leaves.
gui_display() {
    local size=${1:-1024x768x24}
    local number
    for number in $(shuf -i 90-189); do
        [[ -e /tmp/.X11-unix/X$number || -e /tmp/.X$number-lock ]] && continue
        Xvfb ":$number" -screen 0 "$size" -ac -noreset -nolisten tcp >/dev/null 2>&1 &
        gui_track $!
        export DISPLAY=:$number
        wait_for 10 "Xvfb" quietly xdpyinfo
        return 0
    done
    fail "no free display"
}

shot() {
    sleep 0.7
    /usr/bin/import -window root "$output/$1"
    say "screenshot $output/$1"
}

# A free TCP port on the loopback.
free_port() {
    /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# The last visible top-level window of process $1, waiting up to $2 seconds (default 30) for one.
program_window() {
    timeout "${2:-30}" xdotool search --sync --onlyvisible --pid "$1" 2>/dev/null | tail -n 1
}
# The visible windows titled exactly $2 of process $1 (the first of them).
window_of() { xdotool search --all --pid "$1" --onlyvisible --name "^$2\$" 2>/dev/null | head -1; }
# Any visible window titled exactly $1 (for a program run as another user, whose pid xdotool may not see).
window_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
# The controller's main window among the windows titled "Veltrum" (its notices bear the same title):
# the widest, of process $1 when given.
main_window() {
    local best="" width=0 w wide
    for w in $(xdotool search --onlyvisible ${1:+--all --pid "$1"} --name '^Veltrum$' 2>/dev/null); do
        wide=$(xdotool getwindowgeometry "$w" 2>/dev/null | awk '/Geometry/ {split($2, a, "x"); print a[1]}')
        if [[ -n $wide && $wide -gt $width ]]; then best=$w width=$wide; fi
    done
    echo "$best"
}
# Closes the windows titled "Veltrum" other than the main window (the notices), with Return.
dismiss_notices() {
    local main w
    main=$(main_window "${1:-}")
    for w in $(xdotool search --onlyvisible ${1:+--all --pid "$1"} --name '^Veltrum$' 2>/dev/null); do
        [[ $w == "$main" ]] && continue
        key_to "$w" Return
    done
}

# Sends key $2 to window $1 after focusing it.
key_to() {
    xdotool windowraise "$1" 2>/dev/null || true
    xdotool windowfocus --sync "$1" 2>/dev/null || true
    xdotool key --window "$1" "$2" 2>/dev/null || true
}

# Rows of a workbook's sheet (default "Data"), header excluded; 0 while it cannot be read.
rows_in() {
    /usr/bin/python3 -c '
import sys, xlrd
try: print(max(xlrd.open_workbook(sys.argv[1]).sheet_by_name(sys.argv[2]).nrows - 1, 0))
except Exception: print(0)' "$1" "${2:-Data}"
}

# Every touch the reference tablet sent (its --log) has its row in the session workbook, in order.
check_touches() {
    local book=$1 log=$2
    /usr/bin/python3 - "$book" "$log" <<'PY'
import sys, xlrd
book, log = sys.argv[1], sys.argv[2]
sheet = xlrd.open_workbook(book).sheet_by_name("Data")
header = sheet.row_values(0)
rows = [dict(zip(header, sheet.row_values(r))) for r in range(1, sheet.nrows)]
touches = [int(r["Response"]) for r in rows if r["Outcome"] != "Trial Timeout"]
sent = [int(line.split()[2]) for line in open(log) if line.split()[1:2] == ["sent"]]
print(f"  {len(rows)} rows, {len(touches)} touch rows; the tablet sent {len(sent)} touches")
# Touches after E (the link stays open until the summary) are scored by no trial and leave no row.
assert touches == sent[:len(touches)], (touches, sent)
PY
}

# The records of the summary workbook as "Subject Session" lines.
summary_records() {
    /usr/bin/python3 -c '
import sys, xlrd
s = xlrd.open_workbook(sys.argv[1]).sheet_by_name("All")
h = s.row_values(0)
for r in range(1, s.nrows):
    v = dict(zip(h, s.row_values(r))); print(v["Subject"], int(v["Session"]))' "$1"
}
