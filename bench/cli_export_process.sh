#!/usr/bin/env bash
# Times the whole process `tovira-cli export PLAN.ini OUT.csv` on the
# benchmark plan (the rows of BM_CliExport, written by make_bench_plan.py):
# N runs, median and fastest wall time.
#
#   bench/cli_export_process.sh [-n RUNS] [-r ROWS] [-m theory|fact] CLI [OTHER_CLI...]
#
# With more than one program the runs alternate between them (run k of each
# program back to back), so that a machine busy with something else slows
# them alike; each program's output is compared with the first one's.
set -euo pipefail

runs=21
rows=32767
mode=theory
while getopts "n:r:m:" opt; do
  case "$opt" in
    n) runs="$OPTARG" ;;
    r) rows="$OPTARG" ;;
    m) mode="$OPTARG" ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
if [ "$#" -eq 0 ]; then
  echo "usage: $0 [-n RUNS] [-r ROWS] [-m theory|fact] CLI [OTHER_CLI...]" >&2
  exit 2
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
plan="$work/plan$rows.ini"
python3 "$(dirname "$0")/make_bench_plan.py" "$rows" "$plan"

now_ns() { date +%s%N; }
declare -a times
for ((k = 0; k < runs; ++k)); do
  for ((p = 0; p < $#; ++p)); do
    cli="${@:p+1:1}"
    start=$(now_ns)
    "$cli" export "$plan" "$work/out$p.csv" --mode "$mode" >/dev/null
    end=$(now_ns)
    times[p]+="$(((end - start) / 1000)) "
  done
done

for ((p = 0; p < $#; ++p)); do
  cli="${@:p+1:1}"
  same=""
  if ((p > 0)); then
    cmp -s "$work/out0.csv" "$work/out$p.csv" && same="  output identical to the first" ||
      same="  OUTPUT DIFFERS from the first"
  fi
  # shellcheck disable=SC2086
  printf '%s\n' ${times[p]} | sort -n | awk -v cli="$cli" -v rows="$rows" -v same="$same" '
    { t[NR] = $1 }
    END {
      median = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
      printf "%s: export of %d rows, N=%d runs: median %.1f ms, min %.1f ms%s\n",
             cli, rows, NR, median / 1000, t[1] / 1000, same
    }'
done
