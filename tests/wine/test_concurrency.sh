#!/usr/bin/env bash
# Several processes tracing into one log file at the same time: every line
# must be there once, whole. Four runs of the setup tool's trace code at once,
# 1,500 lines each, then eight real runs of the setup tool at once, three
# rounds.
source "$(dirname "$0")/lib.sh"
tov_prefix

run="$TOV_WORK_DIR/run"
mkdir -p "$run"
writers=4
lines=1500
for w in $(seq 1 $writers); do
  (cd "$run" && wine "$TOV_HELPERS/tovtracestress.exe" "$w" "$lines" >/dev/null 2>&1) &
done
wait

log="$TOV_WORK_DIR/stress.txt"
tov_log "$run" >"$log"
total=$(wc -l <"$log")
# Distinct whole lines of writers 1-4: 6000 are each writer's 1500.
whole=$(grep -cE "^writer [1-$writers] line [0-9]+ of $lines: the quick brown fox jumps over the lazy dog\$" "$log")
unique=$(sort -u "$log" | wc -l)
tov_expect_eq "every line is in the log (whole: $whole, distinct: $unique)" "$total" $((writers * lines))
tov_expect_eq "no line is torn" "$whole" $((writers * lines))
tov_expect_eq "no line is there twice" "$unique" $((writers * lines))

# Real runs of the setup tool at once: the log holds the lines of a run alone (start
# time left out, each run's own first token), once for every run, and nothing else.
tov_tool "$TOV_WORK_DIR" "-ReEnumerate,run,a,b,c,d,e,f,g"
alone=$(tov_log "$TOV_WORK_DIR" | sed 's/^Call: .*/Call:/')
run2="$TOV_WORK_DIR/run2"
mkdir -p "$run2"
for round in 1 2 3; do
  for w in $(seq 1 8); do
    (
      tov_tool "$run2" "-ReEnumerate,run$round.$w,a,b,c,d,e,f,g"
      echo "run$round.$w $TOV_EXIT" >>"$TOV_WORK_DIR/exits.txt"
    ) &
  done
  wait
  for w in $(seq 1 8); do sed "s/^\(Parameter\[1\]:  run\)\$/\1$round.$w/" <<<"$alone"; done >>"$TOV_WORK_DIR/expected.txt"
done
tov_expect_eq "24 runs exit with 0: $(sort "$TOV_WORK_DIR/exits.txt" | paste -sd ' ')" "$(grep -c ' 0$' "$TOV_WORK_DIR/exits.txt")" 24
tov_expect_eq "each run's lines are in the log once, whole (a run alone writes $(wc -l <<<"$alone"))" \
  "$(tov_log "$run2" | sed 's/^Call: .*/Call:/' | sort | diff - <(sort "$TOV_WORK_DIR/expected.txt") | grep -c '^[<>]')" 0

tov_done
