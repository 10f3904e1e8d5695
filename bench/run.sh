#!/usr/bin/env bash
# Times every benchmark under tov and under the peer interpreters (Python 3, Tcl 8.6, Lua 5.4), checks that
# all of them print the same result, and prints one line per benchmark: TOV's time and its ratio to each
# peer (TOV time / peer time: below 1 means TOV is faster). Builds nothing.
set -uo pipefail

usage() {
  cat <<'EOF'
Usage: bench/run.sh [OPTIONS] [TOV [BENCHMARK...]]

  TOV            the tov runner to measure (default: build/release/bin/tov of this repository)
  BENCHMARK...   the benchmarks to run, by name (default: all, in the order below)

Options:
  --runs N       runs per implementation; the best (shortest) is reported (default 3)
  --cpu          report CPU time (user + system) instead of wall-clock time
  --timeout S    stop a run after S seconds, 0 for no limit (default 600)
  --list         list the benchmarks and exit
  --help         show this help and exit

Interpreters: PYTHON, TCLSH and LUA name them when set; otherwise /usr/bin/python3, /usr/bin/tclsh8.6 and
/usr/bin/lua5.4 are used when present, else the names are looked up in PATH. A missing one is reported in its
column and the rest goes on. A run longer than 20 s is not repeated.
EOF
}

# Date arithmetic in local time (Lua's os.time) is plain calendar arithmetic only without daylight saving.
export TZ=UTC

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
scripts=$here/scripts

benchmarks=(startup while_count for_arith expression string_concat if_chain switch_case builtin_strlen builtin_abs
            fib_recursive item_list binary_records file_lines time_add registry subst_names udf_calls text_walk)
long_run=20   # seconds: a run this long is measured once
# Runs in one measurement for benchmarks far shorter than the timer's resolution.
declare -A repeats=([startup]=50)

runs=3
metric=wall
limit=600
while (($#)); do
  case $1 in
    --runs) [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || { echo "run.sh: --runs needs a positive number" >&2; exit 2; }
            runs=$2; shift 2 ;;
    --cpu) metric=cpu; shift ;;
    --timeout) [[ ${2:-} =~ ^[0-9]+$ ]] || { echo "run.sh: --timeout needs a number of seconds" >&2; exit 2; }
               limit=$2; shift 2 ;;
    --list) printf '%s\n' "${benchmarks[@]}"; exit 0 ;;
    --help|-h) usage; exit 0 ;;
    --) shift; break ;;
    -*) echo "run.sh: unknown option '$1' (see --help)" >&2; exit 2 ;;
    *) break ;;
  esac
done

tov=${1:-$root/build/release/bin/tov}
(($#)) && shift
if [[ ! -f $tov || ! -x $tov ]]; then
  echo "run.sh: no tov runner at '$tov'." >&2
  echo "run.sh: build it first (cmake --preset release && cmake --build --preset release -j2) or give its path." >&2
  exit 2
fi
# The benchmarks run in the work folder (they find their input files there), so the path must be absolute.
tov=$(cd "$(dirname "$tov")" && pwd)/$(basename "$tov")

selected=("${benchmarks[@]}")
if (($#)); then
  selected=("$@")
  for name in "${selected[@]}"; do
    [[ " ${benchmarks[*]} " == *" $name "* ]] ||
      { echo "run.sh: no benchmark named '$name' (see --list)" >&2; exit 2; }
  done
fi

# An interpreter: the variable's value when set, else the Debian package's program, else the name in PATH.
find_interpreter() {
  local chosen=$1 name=$2
  if [[ -n $chosen ]]; then command -v -- "$chosen" || true; return; fi
  if [[ -x /usr/bin/$name ]]; then echo "/usr/bin/$name"; return; fi
  command -v -- "$name" || true
}

# Implementations: label, file extension, program. TOV comes first; the others are compared with it.
labels=(tov python tcl lua)
extensions=(tov py tcl lua)
programs=("$tov" "$(find_interpreter "${PYTHON:-}" python3)" "$(find_interpreter "${TCLSH:-}" tclsh8.6)"
          "$(find_interpreter "${LUA:-}" lua5.4)")

version_of() {
  case $1 in
    tcl) echo 'puts "Tcl [info patchlevel]"' | "$2" 2>&1 ;;
    lua) "$2" -v 2>&1 | cut -d' ' -f1,2 ;;
    *) "$2" --version 2>&1 ;;
  esac | head -n1
}

timeout_cmd=()
command -v timeout >/dev/null && timeout_cmd=(timeout "$limit")

work=$(mktemp -d "${TMPDIR:-/tmp}/tov-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The registry benchmark writes to a store of its own, not to the user's.
export TOV_REGISTRY=$work/registry.db

# Input files, made once in the work folder, the current directory of every run.
# file_lines.txt: 100,000 lines of text; every seventh holds the word the benchmark counts.
awk 'BEGIN { for (i = 1; i <= 100000; i++)
               printf "line %d of the input, some words to pass over%s\n", i, (i % 7 == 0 ? " and a needle" : "") }' \
  >"$work/file_lines.txt"
# text_walk.txt: 5,000 lines of words separated by blanks, a quarter of them about a fox.
awk 'BEGIN { for (i = 1; i <= 5000; i++)
               printf "  %d: the %s brown %s jumps over the lazy dog\n", i, (i % 3 ? "quick" : "slow"),
                      (i % 4 == 0 ? "fox" : "cat") }' >"$work/text_walk.txt"
cd "$work" || exit 2

# Runs a command COUNT times in a row, stopping at the first failure; its status is the last run's.
run_repeatedly() {
  local count=$1 k rc=0
  shift
  for ((k = 0; k < count && rc == 0; k++)); do
    "${timeout_cmd[@]}" "$@" >"$work/out" 2>"$work/err" </dev/null
    rc=$?
  done
  return $rc
}

# Runs one implementation once: a benchmark shorter than the timer's resolution (1 ms) runs its repeat count
# of times in one measurement, every implementation alike. Sets run_rc and run_time (seconds for one run, by
# the chosen metric); standard output and standard error are left in $work/out and $work/err.
run_once() {
  local count=$1 real user sys TIMEFORMAT='%3R %3U %3S'
  shift
  { time run_repeatedly "$count" "$@"; } 2>"$work/time"
  run_rc=$?
  read -r real user sys < <(tail -n1 "$work/time")
  if [[ $metric == cpu ]]; then
    run_time=$(awk -v u="$user" -v s="$sys" -v n="$count" 'BEGIN { printf "%.6f", (u + s) / n }')
  else
    run_time=$(awk -v r="$real" -v n="$count" 'BEGIN { printf "%.6f", r / n }')
  fi
}

seconds() { awk -v t="$1" 'BEGIN { printf "%.2fs", t }'; }

# TOV's time over a peer's, to three significant digits.
ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN {
    if (b <= 0) { print "n/a"; exit }
    r = a / b
    if (r >= 100) printf "%.0fx", r; else if (r >= 10) printf "%.1fx", r; else printf "%.2fx", r
  }'
}

echo "tov: $tov ($(version_of tov "$tov"))"
for i in 1 2 3; do
  if [[ -n ${programs[i]} ]]; then echo "${labels[i]}: ${programs[i]} ($(version_of "${labels[i]}" "${programs[i]}"))"
  else echo "${labels[i]}: missing"; fi
done
echo "time: $([[ $metric == cpu ]] && echo 'CPU time (user + system)' || echo 'wall-clock'), the best of $runs run(s)"
echo

status=0
for name in "${selected[@]}"; do
  # best[i]: shortest time so far; state[i]: run (still measured), done, missing, failed, mismatch.
  best=() state=() notes=()
  for i in 0 1 2 3; do
    best[i]=""
    if [[ -z ${programs[i]} ]]; then state[i]=missing
    elif [[ ! -f $scripts/$name.${extensions[i]} ]]; then state[i]=missing; notes[i]="no $name.${extensions[i]}"
    else state[i]=run; fi
  done

  # The implementations take turns, so that a change in the machine's load touches all of them alike.
  for ((round = 1; round <= runs; round++)); do
    for i in 0 1 2 3; do
      [[ ${state[i]} == run ]] || continue
      run_once "${repeats[$name]:-1}" "${programs[i]}" "$scripts/$name.${extensions[i]}"
      if ((run_rc != 0)); then
        state[i]=failed
        if ((run_rc == 124)) && ((${#timeout_cmd[@]})); then notes[i]="timed out after ${limit}s"
        else notes[i]="exit $run_rc$(grep -m1 . "$work/err" | sed 's/^/: /')"; fi
        cp "$work/err" "$work/$name.$i.err"
        continue
      fi
      if ((round == 1)); then
        cp "$work/out" "$work/$name.$i.out"
        if ((i > 0)) && ! cmp -s "$work/$name.0.out" "$work/out"; then
          state[i]=mismatch
          continue
        fi
      fi
      if [[ -z ${best[i]} ]] || awk -v a="$run_time" -v b="${best[i]}" 'BEGIN { exit !(a < b) }'; then
        best[i]=$run_time
      fi
      awk -v t="$run_time" -v l="$long_run" 'BEGIN { exit !(t >= l) }' && state[i]=done
    done
    [[ ${state[0]} == failed ]] && break
  done

  if [[ ${state[0]} == failed ]]; then
    if grep -q 'error 3046:' "$work/$name.0.err"; then
      # The script calls a built-in that this build does not have.
      printf '%-15s skipped: a built-in it calls is missing from this tov (line %s: %s)\n' "$name" \
        "$(sed -n '1s/^.*:\([0-9]*\): error 3046:.*/\1/p' "$work/$name.0.err")" \
        "$(sed -n '2{s/^[[:space:]]*//;p}' "$work/$name.0.err")"
    else
      printf '%-15s tov FAILED (%s)\n' "$name" "${notes[0]}"
      status=1
    fi
    continue
  fi

  line=$(printf '%-15s tov %7s' "$name" "$(seconds "${best[0]}")")
  details=""
  for i in 1 2 3; do
    case ${state[i]} in
      missing) line+=$(printf '   %s %s' "${labels[i]}" "${notes[i]:-missing}") ;;
      failed) line+=$(printf '   %s FAILED' "${labels[i]}")
              details+="    ${labels[i]}: ${notes[i]}"$'\n'; status=1 ;;
      mismatch) line+=$(printf '   %s MISMATCH' "${labels[i]}")
                details+="    tov printed:    $(head -c 200 "$work/$name.0.out" | head -n3 | tr '\n' '|')"$'\n'
                details+="    ${labels[i]} printed: $(head -c 200 "$work/$name.$i.out" | head -n3 | tr '\n' '|')"$'\n'
                status=1 ;;
      *) line+=$(printf '   %s %s (%s)' "${labels[i]}" "$(seconds "${best[i]}")" "$(ratio "${best[0]}" "${best[i]}")") ;;
    esac
  done
  echo "$line"
  [[ -n $details ]] && printf '%s' "$details"
done
exit $status
