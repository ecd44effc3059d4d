#!/usr/bin/env bash
# The device-arrival service under Wine's real service control manager:
# "-ServiceCreate" from a directory with a blank in its path registers the
# quoted program path and starts the 32-bit service; its states answer PAUSE,
# CONTINUE, INTERROGATE and STOP; "-ServiceDelete" stops and deletes it.
# (Wine delivers no device arrivals to services; the unit tests cover them.)
source "$(dirname "$0")/lib.sh"
tov_prefix

NAME=TovMouseService
INSTALL_WIN='C:\Program Files\Tov Mouse'
install="$(tov_unix "$INSTALL_WIN")"
mkdir -p "$install"
cp "$TOV_TOOL" "$TOV_SERVICE_EXE" "$install/"
export TOV_TOOL_WIN="$INSTALL_WIN\\TovMouseSetupCustomAction.exe"
run="$TOV_WORK_DIR/run"
mkdir -p "$run"
log="$TOV_LOG"
state_of() { tov_scm_get state status "$1"; }
wait_state() { tov_scm_get state wait "$1" "$2" 20; }
control() { tov_scm_get state control "$NAME" "$1"; }
trap 'tov_remove_services "$NAME" TovMouseMissing; tov_cleanup' EXIT

tov_debug_start

# --- Started outside the service control manager --------------------------------
tov_launch "$run" "\"$INSTALL_WIN\\TovMouseService.exe\""
tov_expect_eq "the service program run from a prompt exits 0" "$TOV_EXIT" 0

# --- Create ----------------------------------------------------------------------
# A program at the path's first blank: the manager would run it instead of the
# service if the path were registered without quotes (measured: the start
# then fails with 1053).
cp "$TOV_HELPERS/tovlaunch.exe" "$(tov_unix 'C:\')/Program.exe"
tov_run_exit "-ServiceCreate" 0 "$run" "-ServiceCreate,$NAME"
tov_expect_lines "create traces the name and the plain path" "$log" "Service name $NAME" \
  "Service filepath $INSTALL_WIN\\$NAME.exe"
# Own process and interactive (0x110), automatic start (2), errors ignored (0),
# the path quoted, LocalSystem, the service name as display name.
tov_expect_eq "the registered configuration" "$(tov_scm config $NAME | paste -sd ' ')" \
  "type=0x110 start=2 error=0 path=\"$INSTALL_WIN\\$NAME.exe\" account=LocalSystem display=$NAME"
tov_expect_eq "the service runs (C:\\Program.exe was not taken for it)" "$(wait_state $NAME 4)" 4
tov_expect_eq "it accepts STOP and PAUSE/CONTINUE" "$(tov_scm_get controls status $NAME)" 3
pid=$(tov_scm_get pid status $NAME)
tov_expect_true "it runs in a process of its own (pid $pid)" test "${pid:-0}" -gt 0
tov_expect_no_match "no message box was needed" "$log" "StartService failed"

# --- Create twice, and names that could reach elsewhere -----------------------------
tov_run_exit "a second -ServiceCreate" 0 "$run" "-ServiceCreate,$NAME"
tov_expect_lines "the running service is given the product's configuration and restarted" "$log" \
  "CreateService failed (1073)" "TMScmApi::ServiceCreate $NAME exists: it is given this product's configuration" \
  ">>> TMScmApi::ServiceStop"
tov_expect_no_match "its start succeeds" "$log" "StartService failed"
tov_expect_eq "it runs again" "$(wait_state $NAME 4)" 4
tov_run "$run" "-ServiceCreate,$NAME:evil"
tov_expect_lines "a name with a stream is refused" "$log" \
  "_tWinMain: -ServiceCreate \"$NAME:evil\" is not a service name, nothing done"
tov_expect_eq "no such service" "$(tov_scm_get error status "$NAME:evil")" 1060

# --- Controls ----------------------------------------------------------------------
# PAUSE, a second PAUSE, CONTINUE, PAUSE again, INTERROGATE while paused, and
# then the manager's state: PAUSED (7) or RUNNING (4) each.
tov_expect_eq "the states the controls report" "$({ for c in 2 2 3 2 4; do control $c; done; state_of $NAME; } | paste -sd ' ')" \
  "7 4 4 7 4 4"

# --- Delete ------------------------------------------------------------------------
tov_run_exit "-ServiceDelete" 0 "$run" "-ServiceDelete,$NAME"
tov_expect_lines "delete stops the service, then deletes it" "$log" ">>> TMScmApi::ServiceStop" \
  "Trying to delete service."
tov_expect_true "the stop is seen within the waits: $(grep -m1 '^Service stopped after' "$log")" grep -qE '^Service stopped after [0-9]+ tries\.$' "$log"
tov_expect_no_line "delete reports no failure" "$log" "ServiceDelete failed!"
tov_expect_eq "the service is gone" "$(tov_scm_get error status $NAME)" 1060

tov_run_exit "-ServiceDelete of a missing service" 0 "$run" "-ServiceDelete,$NAME"
tov_expect_lines "a missing service is named" "$log" "TMScmApi::ServiceEnableAccess OpenService failed! 1060" \
  "TMScmApi::ServiceEnableAccess Service does not exists" "ScmApiServiceEnableAccess failed!"

# --- A service whose program is missing ----------------------------------------------
tov_run_exit "-ServiceCreate of a service without its program" 0 "$run" "-ServiceCreate,TovMouseMissing"
tov_expect_true "its start fails and is traced: $(grep -m1 '^StartService failed' "$log")" grep -qE '^StartService failed \([0-9]+\)$' "$log"
tov_run "$run" "-ServiceDelete,TovMouseMissing"
tov_expect_lines "a stopped service is deleted without a stop request" "$log" \
  "TMScmApi::ServiceQueryStatus VelmoraNetService is already STOPPED" "Trying to delete service."
tov_expect_eq "it is gone" "$(tov_scm_get error status TovMouseMissing)" 1060

# --- The service's program under a stand-in dispatcher -------------------------------
# Arrivals every 3 s and a STOP among them, one at a time, in order; beside
# the service a stand-in setup tool that runs 60 s.
hdir="$TOV_WORK_DIR/handler"
mkdir -p "$hdir" && cp "$TOV_HELPERS/tovhandler.exe" "$hdir/TovMouseSetupCustomAction.exe"
cp "$TOV_HELPERS/tovhandler.exe" "$hdir/"
out=$(cd "$hdir" && timeout 120 wine tovhandler.exe 3000 11:32768 11:32768 11:32768 1 11:32768 2>/dev/null | tr -d '\r')
field() { sed -n "s/^$1\b.* $2=\([0-9]*\).*/\1/p" <<<"$out" | uniq | paste -sd ' '; }
tov_expect_eq "every control is handled" "$(grep -c '^control=' <<<"$out")" 5
tov_expect_eq "the states reported: START_PENDING, RUNNING, STOP_PENDING, STOPPED" "$(field report state)" "2 4 3 1"
tov_expect_eq "the STOP is answered by its own STOP_PENDING" "$(grep -B1 '^control=1 ' <<<"$out" | cut -d' ' -f1-3 | head -n 1)" \
  "report state=3 checkpoint=1"
tov_expect_eq "the stop's checkpoints rise, every second for 20 s" "$(field 'report state=3' checkpoint)" "$(seq -s ' ' 1 20)"
tov_note "measured: longest control in the handler $(field control took | tr ' ' '\n' | sort -n | tail -n 1) ms; STOP sent at" \
  "$(field control=1 at) ms, STOP_PENDING at $(field 'report state=3 checkpoint=1' at) ms, STOPPED at $(field 'report state=1' at) ms"
tov_debug_stop

# --- The service's debugger output ---------------------------------------------------
dbg="$TOV_DEBUG_FILE"
tov_expect_lines "outside the manager: the dispatcher is refused" "$dbg" 'TMSvc: >>> main\n\n' \
  'TMSvc: main StartServiceCtrlDispatcher failed! 1063\n'
tov_expect_lines "the service's start-up lines" "$dbg" 'TMSvc: >>> main\n\n' 'TMSvc: >>> TMSvcServiceMain\n\n' \
  'TMSvc: >>> TMSvcNotificationDeviceRegister\n'
tov_note "Wine's device notification registration: $(grep -m1 -o 'RegisterDeviceNotification.*' "$dbg" || echo succeeds)"
tov_expect_lines "the run still going at the stop is left to finish" "$dbg" \
  'TMSvc: TMSvcNotificationDeviceInterfaceArrival the setup tool still runs after 20000 ms, it is left to finish on its own\n'
tov_expect_eq "the arrivals, three before the STOP, started one run" "$(grep -c 'FullPathName: ' "$dbg")" 1

tov_done
