#!/usr/bin/env bash
# Compares the exports of two tovira-cli builds byte for byte: the benchmark
# plan (make_bench_plan.py) and every plan in a folder of plans (by default
# ../shared/golden), each in 理论计算 and 实际操作.
#
#   bench/compare_cli_exports.sh OLD_CLI NEW_CLI [PLAN_FOLDER]
set -euo pipefail

if [ "$#" -lt 2 ]; then
  echo "usage: $0 OLD_CLI NEW_CLI [PLAN_FOLDER]" >&2
  exit 2
fi
old="$1"
new="$2"
folder="${3:-$(dirname "$0")/../../shared/golden}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
python3 "$(dirname "$0")/make_bench_plan.py" 32767 "$work/bench32767.ini"
python3 "$(dirname "$0")/make_bench_plan.py" 250 "$work/bench250.ini"

compared=0
differ=0
for plan in "$work"/bench*.ini "$folder"/*.ini; do
  for mode in theory fact; do
    set +e
    "$old" export "$plan" "$work/old.csv" --mode "$mode" >"$work/old.out" 2>&1
    old_status=$?
    "$new" export "$plan" "$work/new.csv" --mode "$mode" >"$work/new.out" 2>&1
    new_status=$?
    set -e
    compared=$((compared + 1))
    if [ "$old_status" != "$new_status" ] || ! cmp -s "$work/old.out" "$work/new.out" ||
      { [ "$old_status" = 0 ] && ! cmp -s "$work/old.csv" "$work/new.csv"; }; then
      echo "DIFFERS: $(basename "$plan") --mode $mode (status $old_status / $new_status)"
      differ=$((differ + 1))
    fi
    rm -f "$work/old.csv" "$work/new.csv"
  done
done
echo "$compared exports compared, $differ differ"
[ "$differ" = 0 ]
