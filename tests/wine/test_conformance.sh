#!/usr/bin/env bash
# The seam's conformance cases (tests/conformance) against Wine: a check that
# fails counts; a known Wine difference is reported and does not.
source "$(dirname "$0")/lib.sh"
tov_prefix
trap 'tov_remove_services TovConformance; tov_cleanup' EXIT

(cd "$TOV_WORK_DIR" && timeout 300 wine "$TOV_HELPERS/conformance.exe" 2>/dev/null | tr -d '\r' | tee cases.txt)
tov_expect_eq "every conformance case answers as Windows documents" "$(tail -n 1 "$TOV_WORK_DIR/cases.txt")" \
  "0 checks failed, $(grep -c 'Wine differs' "$TOV_WORK_DIR/cases.txt") known Wine differences"

tov_done
