#!/usr/bin/env bash
# Several processes tracing into one log file at the same time: every line
# must be there once, whole. Eight writers of the setup tool's trace code,
# 1000 lines each, and eight real runs of the setup tool at once.
source "$(dirname "$0")/lib.sh"
tov_prefix

run="$TOV_WORK_DIR/run"
mkdir -p "$run"
writers=8
lines=1000
for w in $(seq 1 $writers); do
  (cd "$run" && wine "$TOV_HELPERS/tovtracestress.exe" "$w" "$lines" >/dev/null 2>&1) &
done
wait

log="$TOV_WORK_DIR/stress.txt"
tov_log "$run" >"$log"
total=$(wc -l <"$log")
# Distinct whole lines of writers 1-8, lines 0-999: 8000 are each writer's 1000.
whole=$(grep -cE "^writer [1-$writers] line (0|[1-9][0-9]{0,2}) of $lines: the quick brown fox jumps over the lazy dog\$" "$log")
unique=$(sort -u "$log" | wc -l)
tov_expect_eq "every line is in the log (whole: $whole, distinct: $unique)" "$total" $((writers * lines))
tov_expect_eq "no line is torn" "$whole" $((writers * lines))
tov_expect_eq "no line is there twice" "$unique" $((writers * lines))

# Real runs of the setup tool at once: each run's lines are whole and the
# runs' banners all arrive.
run2="$TOV_WORK_DIR/run2"
mkdir -p "$run2"
for w in $(seq 1 $writers); do
  (
    tov_tool "$run2" "-ReEnumerate,run$w,a,b,c,d,e,f,g"
    echo "run$w $TOV_EXIT" >>"$TOV_WORK_DIR/exits.txt"
  ) &
done
wait
tov_expect_eq "eight runs exit with 0: $(sort "$TOV_WORK_DIR/exits.txt" | paste -sd ' ')" "$(grep -c ' 0$' "$TOV_WORK_DIR/exits.txt")" $writers
log2="$TOV_WORK_DIR/runs.txt"
tov_log "$run2" >"$log2"
tov_expect_eq "eight banners, eight closing lines" "$(grep -c '^Call: ' "$log2") $(grep -cx '<<< _tWinMain' "$log2")" "$writers $writers"
tov_expect_eq "each run traced its first token once" "$(grep -x "Parameter\[1\]:  run[1-$writers]" "$log2" | sort | uniq -c | grep -c ' 1 ')" $writers

tov_done
