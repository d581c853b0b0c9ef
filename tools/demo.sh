#!/usr/bin/env bash
# The main job, shown on an emulated machine: a PC with a TarvexModem PCI board of hardware
# revision "001" (8 modems whose firmware lives in RAM) and an ISA TarvexModem board. The user
# saves the settings in TvxMCfg's window, which writes the start-up entry; then the machine is
# switched off and on, and the system start runs "TvxMCfg /AUTO", which downloads the firmware to
# the 8 modems in parallel.
set -euo pipefail
build=${1:-build}
w95=$build/tools/w95
boardsim=$build/sim/boards/boardsim
machine=${W95_DEMO_MACHINE:-$PWD/.w95-demo}
export W95_MACHINE=$machine

say() { printf '\n== %s\n' "$*"; }
sim_pid=
stop_boards() {
    if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
        kill -TERM "$sim_pid" && wait "$sim_pid" 2>/dev/null || true
    fi
    sim_pid=
}
start_boards() {
    local ready=$machine/boardsim.out
    : > "$ready"
    "$boardsim" --machine "$machine" --boards "$machine/boards.json" > "$ready" &
    sim_pid=$!
    for _ in $(seq 100); do
        grep -qx ready "$ready" && return 0
        kill -0 "$sim_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "boardsim did not come up" >&2
    exit 1
}
watch_pid=
stop_watch() {
    if [ -n "$watch_pid" ]; then
        sleep 0.3
        kill "$watch_pid" 2>/dev/null || true
        wait "$watch_pid" 2>/dev/null || true
    fi
    watch_pid=
}
trap 'stop_watch; stop_boards' EXIT

say "A fresh Windows 95 machine in $machine"
rm -rf "$machine"
"$w95" init
"$w95" install
cat > "$machine/boards.json" <<'JSON'
{
  "modem_reset_delay": 10,
  "boards": [
    { "bus": "pci", "revision": "001", "ports": 8, "pacing": true },
    { "bus": "isa", "hardware_id": "TRVX1002M", "ports": 4 }
  ]
}
JSON
echo "boards: PCI TarvexModem board, revision 001, COM5 to COM12 (line paced at 115200 bit/s);"
echo "        ISA TarvexModem board, COM13 to COM16"
start_boards

say "The user opens TvxMCfg, keeps United States and presses OK"
cat > "$machine/user.txt" <<'SCRIPT'
# TvxMCfg's dialog: OK stores the settings; with a revision 001 board it writes the start-up
# entry and applies the settings at once.
click 301
SCRIPT
"$w95" journal --follow > "$machine/configure.log" &
watch_pid=$!
W95_USER=$machine/user.txt "$w95" run 'C:\WINDOWS\SYSTEM\TARVEX\TVXMCFG'
stop_watch
grep -E 'box:|has its firmware' "$machine/configure.log" | sed 's/^/  /' || true
echo "start-up entry:"
"$w95" regedit export 'Software\Microsoft\Windows\CurrentVersion\RunServices' |
    grep TarvexModem | sed 's/^/  /'

say "Switch the machine off and on: the RAM of the revision 001 modems is empty again"
stop_boards
: > "$machine/journal/driver.jsonl"
: > "$machine/journal/ui.jsonl"
start_boards

say "System start: w95 boot runs every RunServices entry"
"$w95" journal --follow driver ui > "$machine/boot.log" &
watch_pid=$!
tail -n +1 -f "$machine/boot.log" --pid="$watch_pid" | sed -u 's/^/  /' &
start=$(date +%s.%N)
"$w95" boot
end=$(date +%s.%N)
stop_watch

say "Result"
for n in 5 6 7 8 9 10 11 12; do
    port=$((n - 5))
    if grep -q "board 0 port $port has its firmware" "$machine/boot.log"; then
        printf '  COM%-3s firmware downloaded and verified\n' "$n"
    elif grep -q "TarvexModem Error : COM$n\]" "$machine/boot.log"; then
        printf '  COM%-3s FAILED: %s\n' "$n" "$(grep "TarvexModem Error : COM$n\]" "$machine/boot.log" |
            grep -o 'error code = [0-9.]*')"
    else
        printf '  COM%-3s firmware already running\n' "$n"
    fi
done
boxes=$(grep -c 'box:' "$machine/boot.log" || true)
awk -v s="$start" -v e="$end" -v b="$boxes" 'BEGIN { printf "  system start took %.1f s; %d message box(es)\n", e - s, b }'
echo "  journals: $machine/journal (w95 --machine $machine journal)"
