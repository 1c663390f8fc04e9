#!/usr/bin/env bash
# Studies many sites at once with an existing scheduler: each study file gives one JSON
# file beside it (SITE.int -> SITE.json). Nothing is shared between the studies, so any
# scheduler that runs one command per file will do.
#
#   scripts/study-many.sh parallel SITE.int...     GNU parallel on this machine, or on the
#                                                  hosts of --sshloginfile (PARALLEL_OPTS)
#   scripts/study-many.sh slurm LIST               a Slurm array, one task a line of LIST
#   scripts/study-many.sh one SITE.int             one study (what every task runs)
#
# INTERMOD_STUDY names the program (default: intermod-study on the PATH), ORDER the order
# (default 5), THREADS the threads of each study (default: every core of its machine).
set -euo pipefail

study_one() {
    local site=$1 out=${1%.int}.json
    # Written beside the target and moved in only when whole: a stopped task leaves no
    # half file behind, and the task fails with the program's own status and reason.
    "${INTERMOD_STUDY:-intermod-study}" --quiet --format json --order "${ORDER:-5}" \
        ${THREADS:+--threads "$THREADS"} -- "$site" > "$out.part"
    mv -f -- "$out.part" "$out"
}

case "${1:-}" in
one)
    study_one "$2"
    ;;
parallel)
    shift
    # One study per core here: each study's own threads are then not needed.
    export INTERMOD_STUDY ORDER
    THREADS=${THREADS:-1} parallel ${PARALLEL_OPTS:-} --halt never --joblog study-many.log \
        "$0" one {} ::: "$@"
    ;;
slurm)
    list=$2
    tasks=$(grep -c . "$list")
    # Each array task takes the line of its index; sbatch options (partition, time, cores)
    # come from SBATCH_* variables or the command line's defaults.
    sbatch --array="1-$tasks" --job-name=intermod --output=intermod-%A_%a.log \
        --wrap="\"$0\" one \"\$(sed -n \"\${SLURM_ARRAY_TASK_ID}p\" \"$list\")\""
    ;;
*)
    sed -n '2,14p' "$0" >&2
    exit 2
    ;;
esac
