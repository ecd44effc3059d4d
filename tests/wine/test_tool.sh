#!/usr/bin/env bash
# The setup tool under Wine: start-up trace, tokens, dispatch and exit codes,
# the log file's bytes and the debugger output.
source "$(dirname "$0")/lib.sh"
tov_prefix

run="$TOV_WORK_DIR/run"
mkdir -p "$run"
tov_debug_start

# An empty argument, a command in any case, a quoted command and an unknown
# command: each run exits 0. (Missing and surplus tokens: the unit tests.)
for arg in "" "-rEeNUMERATE,extra,,token" "\"-ReEnumerate\"" "-Unknown,caf$(printf '\xc3\xa9') $(printf '\xe2\x82\xac')"; do
  tov_tool "$run" "$arg"
  tov_expect_eq "[$arg] exits 0" "$TOV_EXIT" 0
done
tov_debug_stop

log="$TOV_WORK_DIR/log.txt"
tov_log "$run" >"$log"
tov_expect_eq "every log line ends in CR LF" "$(grep -vc $'\r$' "$run/TovMouseSetup.log")" 0
tov_expect_true "banner has the local time and the build stamp" \
  grep -qE '^Call: [0-9]{1,2}/[0-9]{1,2}/[0-9]{4} [0-9]{1,2}:[0-9]{1,2}:[0-9]{1,2} Build: [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}$' "$log"
tov_expect_lines "empty argument" "$log" ">>> _tWinMain" "_tWinMain: No command line parameter"
tov_expect_lines "re-enumeration run" "$log" "Parameter[0]: -rEeNUMERATE" "Parameter[1]:  extra" \
  "Parameter[2]:  token" "_tWinMain CM_Locate_DevNode failed! 0x13" "<<< _tWinMain"
tov_expect_lines "quoted command" "$log" "Parameter[0]: \"-ReEnumerate\"" "<<< _tWinMain"
# One byte per character below 256, "?" above.
tov_expect_true "non-ASCII characters in the log" grep -qaxF "$(printf 'Parameter[1]:  caf\xe9 ?')" "$log"

dbg="$TOV_DEBUG_FILE"
tov_expect_no_line "the entry line is not on the debugger" "$dbg" 'RVSET: >>> _tWinMain\n'
tov_expect_lines "debugger lines carry the prefix" "$dbg" 'RVSET: _tWinMain: No command line parameter\n' \
  'RVSET: Parameter[0]: -rEeNUMERATE\n'

# --- Where nobody can answer, and a log file that is held or no plain file ---
# Each run ends with its usual exit code, the log costs it a bounded wait, and
# its lines still reach the debugger. Wine lets a write pass a byte-range lock.
held="$TOV_WORK_DIR/held"
ini="$WINEPREFIX/drive_c/windows/win.ini"
cp "$ini" "$TOV_WORK_DIR/win.ini.before"
tov_debug_start
for hold in --lock --share0 link dir; do
  rm -rf "$held" && mkdir -p "$held"
  case $hold in
  link) ln "$ini" "$held/TovMouseSetup.log" ;;
  dir) mkdir "$held/TovMouseSetup.log" ;;
  *) TOV_LAUNCH_OPTS="$hold TovMouseSetup.log" ;;
  esac
  tov_tool "$held" "-ReEnumerate,held$hold"
  TOV_LAUNCH_OPTS=
  tov_expect_eq "log $hold: the run exits 0 (it took $TOV_MS ms)" "$TOV_EXIT" 0
  tov_expect_lines "log $hold: the lines reach the debugger" "$TOV_DEBUG_FILE" "RVSET: Parameter[1]:  held$hold\n"
done
tov_debug_stop
tov_expect_true "the hard-linked file is untouched" cmp -s "$ini" "$TOV_WORK_DIR/win.ini.before"
# Held for 0.8 s at the start of a run of 1,200 lines: only the lines written meanwhile are lost.
rm -rf "$held" && mkdir -p "$held"
TOV_LAUNCH_OPTS="--share0 TovMouseSetup.log --for 800" tov_launch "$held" "$(tov_win "$TOV_HELPERS/tovtracestress.exe") 0 1200"
kept=$(tov_log "$held" | wc -l)
tov_expect_true "a short hold costs only the lines written during it ($kept of 1200 kept, $TOV_MS ms)" test "$kept" -ge 1190

# A window station made with CreateWindowStationW has no WSF_VISIBLE: a run
# there shows nothing, tells the Setup API so (seen through +relay on the warm
# prefix), and has the stand-in framework install silently (0x16).
hidden="$TOV_WORK_DIR/hidden"
mkdir -p "$hidden" "$WINEPREFIX/drive_c/app" "$WINEPREFIX/drive_c/pkg"
cp "$TOV_TOOL" "$TOV_FAKE_DIFX" "$WINEPREFIX/drive_c/app/"
touch "$WINEPREFIX/drive_c/pkg/tovfiltr.inf"
WINEDEBUG=+relay WINEDLLOVERRIDES="$TOV_DIFX_NATIVE" TOV_LAUNCH_OPTS='--station tovhidden' \
  TOV_LAUNCH_ERR="$TOV_WORK_DIR/relay.txt" \
  tov_launch "$hidden" 'C:\app\TovMouseSetupCustomAction.exe -DriverPackageInstall,C:\pkg\tovfiltr.inf'
tov_expect_eq "a run nobody can see exits 0" "$TOV_EXIT" 0
tov_expect_true "SetupSetNonInteractiveMode(TRUE) was called" \
  grep -q 'Call setupapi.SetupSetNonInteractiveMode(00000001)' "$TOV_WORK_DIR/relay.txt"
tov_log "$hidden" >"$log"
tov_expect_lines "it shows no user interface" "$log" \
  "_tWinMain: not an interactive session, the run shows no user interface" \
  "DIFXAPI_INFO:    fake install of C:\pkg\tovfiltr.inf with flags 0x16."

tov_done
