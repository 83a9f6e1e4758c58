#!/usr/bin/env bash
# Runs a ZEP design study as a Slurm job array: one array task per line of the
# jobs file that `zeptool study ... --jobs FILE` wrote. Submit from the folder
# the study was written in (the designs are named relative to it):
#
#   zeptool study *.gem --materials Quartz,Corundum --jobs study.jobs
#   sbatch --array=1-$(wc -l < study.jobs) scripts/study-slurm.sh study.jobs results
#   # when all tasks have ended:
#   cat results/*.json > study.jsonl
#   zeptool study --collect study.jsonl --csv study.csv
#
# Each task writes its job's JSON line to RESULTS/K.json, a failed job's line
# too (its status still marks the task failed). A job runs on one core.
#SBATCH --job-name=zep-study
#SBATCH --ntasks=1
#SBATCH --cpus-per-task=1
#SBATCH --output=zep-study-%A_%a.log
set -euo pipefail
jobs=${1:?usage: sbatch --array=1-N study-slurm.sh JOBS RESULTS}
results=${2:?usage: sbatch --array=1-N study-slurm.sh JOBS RESULTS}
task=${SLURM_ARRAY_TASK_ID:?run this with sbatch --array}
line=$(sed -n "${task}p" "$jobs")
[ -n "$line" ] || { echo "no line $task in $jobs" >&2; exit 2; }
mkdir -p "$results"
# The line is a command line as a POSIX shell reads it (quoted where needed).
status=0
sh -c "$line" > "$results/$task.json.part" || status=$?
mv "$results/$task.json.part" "$results/$task.json"
exit $status
