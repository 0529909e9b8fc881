#!/usr/bin/env bash
# Measures hollowmere-scan side by side with du, gdu, ncdu and the C reference walker on
# generated trees, warm and cold, and writes bench/RESULTS.md.
#
#   bench/peers.sh [--small] [--reps N] [--cold-reps N] [--no-cold]
#
# Environment: HOLLOWMERE_BENCH_DIR (where the trees live, default /var/tmp/hollowmere-bench),
# HOLLOWMERE_BENCH_BUILD (build folder, default build-peers in the repository),
# HOLLOWMERE_BENCH_JOBS (parallel compile jobs, default ninja's).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
bench_dir=${HOLLOWMERE_BENCH_DIR:-/var/tmp/hollowmere-bench}
build_dir=${HOLLOWMERE_BENCH_BUILD:-$repo/build-peers}
results=$here/RESULTS.md
seed=1
reps=5
cold_reps=
small_only=0
want_cold=1

usage() {
  sed -n '2,10p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
  exit "${1:-0}"
}

while [ $# -gt 0 ]; do
  case $1 in
    --small) small_only=1 ;;
    --reps) reps=${2:?}; shift ;;
    --cold-reps) cold_reps=${2:?}; shift ;;
    --no-cold) want_cold=0 ;;
    -h|--help) usage 0 ;;
    *) echo "peers.sh: unknown option $1" >&2; usage 64 ;;
  esac
  shift
done
[[ $reps =~ ^[1-9][0-9]*$ ]] || { echo "peers.sh: --reps needs a positive number" >&2; exit 64; }
cold_reps=${cold_reps:-$reps}
[[ $cold_reps =~ ^[1-9][0-9]*$ ]] || { echo "peers.sh: --cold-reps needs a positive number" >&2; exit 64; }

say() { echo "peers.sh: $*" >&2; }

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)

# --- what the run needs -------------------------------------------------------------------
[ -f "$repo/scripts/deps.sh" ] && bash "$repo/scripts/deps.sh"
missing=()
command -v gdu >/dev/null || command -v gdu-go >/dev/null || missing+=(gdu)
command -v ncdu >/dev/null || missing+=(ncdu)
[ -x /usr/bin/time ] || missing+=(time)
for tool in cmake ninja; do command -v $tool >/dev/null || missing+=("$([ $tool = ninja ] && echo ninja-build || echo $tool)"); done
dpkg-query -W -f='${Status}' libbenchmark-dev 2>/dev/null | grep -q 'install ok installed' || missing+=(libbenchmark-dev)
if [ ${#missing[@]} -gt 0 ]; then
  say "installing ${missing[*]}"
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
gdu_bin=$(command -v gdu || command -v gdu-go)

say "building into $build_dir"
mkdir -p "$build_dir"
build_log=$build_dir/peers-build.log
if ! { cmake -S "$repo" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHOLLOWMERE_TESTS=OFF \
         -DHOLLOWMERE_BENCH=ON &&
       ninja -C "$build_dir" ${HOLLOWMERE_BENCH_JOBS:+-j "$HOLLOWMERE_BENCH_JOBS"} \
         hollowmere-scan ref_walker tree_generator; } >"$build_log" 2>&1; then
  tail -n 40 "$build_log" >&2
  say "the build failed; the whole log is $build_log"
  exit 1
fi
scan_bin=$build_dir/src/cli/hollowmere-scan
walker_bin=$build_dir/bench/ref_walker
generator_bin=$build_dir/bench/tree_generator
cores=$(nproc)

# --- the trees ----------------------------------------------------------------------------
# A tree is reused only when its marker says it was completed by this generator version.
ensure_tree() {
  local label=$1 entries=$2
  local dir=$bench_dir/tree-$label marker=$bench_dir/tree-$label.done
  local key
  key="generator=$("$generator_bin" --version) entries=$entries seed=$seed"
  if [ -d "$dir" ] && [ -f "$marker" ] && [ "$(head -n 1 "$marker")" = "$key" ]; then
    say "reusing $dir"
    return
  fi
  mkdir -p "$bench_dir"
  rm -rf -- "$dir" "$dir.partial" "$marker"
  say "generating $dir ($entries entries)"
  "$generator_bin" --entries "$entries" --seed "$seed" "$dir.partial" >"$marker.partial"
  mv -- "$dir.partial" "$dir"
  { echo "$key"; cat "$marker.partial"; } >"$marker"
  rm -f -- "$marker.partial"
}

# --- measuring ----------------------------------------------------------------------------
# The multi-threaded walker is the floor; on one core it is walker-1 itself.
floor=walker-$cores
tools=(hollowmere-scan walker-1)
[ "$cores" -gt 1 ] && tools+=("$floor")
tools+=(du gdu ncdu)
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT

command_of() { # tool folder -> argv
  case $1 in
    hollowmere-scan) argv=("$scan_bin" --json "$2") ;;
    walker-1) argv=("$walker_bin" -t 1 "$2") ;;
    walker-*) argv=("$walker_bin" -t "$cores" "$2") ;;
    du) argv=(du -s -x -B1 "$2") ;;
    gdu) argv=("$gdu_bin" -n -p -s -x --no-prefix "$2") ;;
    ncdu) argv=(ncdu -0 -x -o /dev/null "$2") ;;
  esac
}

drop_caches() {
  sync
  if [ ${#sudo[@]} -eq 0 ]; then
    echo 3 2>/dev/null >/proc/sys/vm/drop_caches
  else
    sudo -n sh -c 'echo 3 > /proc/sys/vm/drop_caches' 2>/dev/null
  fi
}

# Runs one tool once; its standard output goes to $work/out. Sets wall and cpu (user + system,
# seconds) and rss (peak resident set, KiB).
run_once() {
  local tool=$1 folder=$2 cold=$3
  command_of "$tool" "$folder"
  [ "$cold" = 1 ] && drop_caches
  local start=$EPOCHREALTIME
  if ! /usr/bin/time -f '%M %U %S' -o "$work/usage" "${argv[@]}" >"$work/out" 2>"$work/err"; then
    say "$tool failed on $folder:"
    cat "$work/err" >&2
    exit 1
  fi
  local end=$EPOCHREALTIME
  wall=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }')
  read -r rss cpu < <(tail -n 1 "$work/usage" | awk '{ printf "%d %.2f\n", $1, $2 + $3 }')
}

json_number() { # key file
  grep -o "\"$1\": *[0-9]*" "$2" | head -n 1 | grep -o '[0-9]*$'
}

median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.6f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
maximum() { tr ' ' '\n' | grep . | sort -g | tail -n 1; }

declare -A walls cpus peaks
# Runs every tool `count` times, interleaved, starting each round with the next tool so that
# no tool always runs right after the same neighbour.
measure_pass() {
  local folder=$1 pass=$2 count=$3 cold=0
  [ "$pass" = cold ] && cold=1
  local n=${#tools[@]} round i tool
  for ((round = 0; round < count; round++)); do
    for ((i = 0; i < n; i++)); do
      tool=${tools[(round + i) % n]}
      run_once "$tool" "$folder" "$cold"
      walls[$pass/$tool]+="$wall "
      cpus[$pass/$tool]+="$cpu "
      peaks[$pass/$tool]+="$rss "
    done
    say "$pass round $((round + 1))/$count done"
  done
}

report=$work/report.md
checks=$work/checks.md
: >"$report"

# Measures one tree and appends its section to the report.
bench_tree() {
  local label=$1 folder=$bench_dir/tree-$1 marker=$bench_dir/tree-$1.done
  walls=()
  cpus=()
  peaks=()

  # A first pass warms the cache and gives the totals to compare.
  say "warming up on $folder"
  local tool
  declare -A output
  for tool in "${tools[@]}"; do
    run_once "$tool" "$folder" 0
    output[$tool]=$(cat "$work/out")
  done
  local ours_json=$work/ours.json walker1=$work/walker1.json walkerN=$work/walkerN.json
  echo "${output[hollowmere-scan]}" >"$ours_json"
  echo "${output[walker-1]}" >"$walker1"
  echo "${output[$floor]}" >"$walkerN"
  local ours_total ours_items storage walker1_total walker1_items walkerN_total walkerN_items
  ours_total=$(json_number total_bytes "$ours_json")
  ours_items=$(json_number items "$ours_json")
  storage=$(json_number storage_bytes "$ours_json")
  walker1_total=$(json_number total_bytes "$walker1")
  walker1_items=$(json_number items "$walker1")
  walkerN_total=$(json_number total_bytes "$walkerN")
  walkerN_items=$(json_number items "$walkerN")
  local walker_dirs du_total gdu_total dir_bytes
  walker_dirs=$(json_number dir_bytes "$walker1")
  du_total=$(awk '{ print $1; exit }' <<<"${output[du]}")
  gdu_total=$(awk '{ print $1; exit }' <<<"${output[gdu]}")
  dir_bytes=$(find "$folder" -xdev -type d -printf '%b\n' | awk '{ s += $1 } END { printf "%d\n", s * 512 }')

  measure_pass "$folder" warm "$reps"
  local passes=(warm)
  local cold_note=""
  if [ "$want_cold" = 0 ]; then
    cold_note="Cold pass not run (--no-cold)."
  elif [ "$(stat -f -c %T "$folder")" = tmpfs ]; then
    cold_note="Cold pass not run: the tree is on tmpfs, which has no cache to drop."
  elif ! drop_caches; then
    cold_note="Cold pass not run: this machine does not allow dropping the page cache (writing /proc/sys/vm/drop_caches failed)."
  else
    measure_pass "$folder" cold "$cold_reps"
    passes+=(cold)
  fi
  [ -n "$cold_note" ] && say "$cold_note"

  {
    echo "## Tree $label: $(grep '^entries=' "$marker" | cut -d= -f2) entries"
    echo
    echo "Generated by tree_generator (seed $seed): $(grep -E '^(files|empty_files|folders|symlinks|hard_links|fifos|max_depth|max_fan_out)=' "$marker" | tr '\n' ' ' | sed 's/=/ /g; s/ $//')."
    echo "Allocated bytes (hollowmere-scan): $ours_total; hollowmere-scan's tree storage: $storage bytes."
    echo
  } >>"$report"

  local pass base median_wall median_cpu peak ratio mib per_entry reps_here
  for pass in "${passes[@]}"; do
    reps_here=$reps
    [ "$pass" = cold ] && reps_here=$cold_reps
    base=$(median <<<"${walls[$pass/hollowmere-scan]}")
    {
      echo "### ${pass^} cache ($reps_here $([ "$reps_here" = 1 ] && echo repetition || echo repetitions), interleaved)"
      echo
      echo "| tool | median wall (s) | × hollowmere-scan | median CPU (s) | peak RSS (MiB) | RSS bytes per entry |"
      echo "|---|---:|---:|---:|---:|---:|"
      for tool in "${tools[@]}"; do
        median_wall=$(median <<<"${walls[$pass/$tool]}")
        median_cpu=$(median <<<"${cpus[$pass/$tool]}")
        peak=$(maximum <<<"${peaks[$pass/$tool]}")
        ratio=$(awk -v a="$median_wall" -v b="$base" 'BEGIN { printf "%.2f", a / b }')
        mib=$(awk -v k="$peak" 'BEGIN { printf "%.1f", k / 1024 }')
        per_entry=$(awk -v k="$peak" -v n="$ours_items" 'BEGIN { printf "%.0f", k * 1024 / n }')
        printf '| %s | %.3f | %s | %.2f | %s | %s |\n' "$tool" "$median_wall" "$ratio" "$median_cpu" "$mib" "$per_entry"
      done
      echo
    } >>"$report"
  done

  # The checks and targets, from the warm pass.
  local ours_median floor_median speed ours_peak_bytes memory_limit
  ours_median=$(median <<<"${walls[warm/hollowmere-scan]}")
  floor_median=$(median <<<"${walls[warm/$floor]}")
  speed=$(awk -v a="$ours_median" -v b="$floor_median" 'BEGIN { printf "%.2f", a / b }')
  ours_peak_bytes=$(( $(maximum <<<"${peaks[warm/hollowmere-scan]}") * 1024 ))
  memory_limit=$(awk -v s="$storage" 'BEGIN { printf "%.0f", 1.3 * s + 30 * 1048576 }')
  verdict() { if [ "$1" = 1 ]; then echo "met"; else echo "**missed**"; fi; }
  {
    echo "### Checks"
    echo
    echo "- Totals, hollowmere-scan against the C walker: $ours_total and $ours_items items; walker-1 $walker1_total and $walker1_items; $floor $walkerN_total and $walkerN_items: $(verdict "$([ "$ours_total" = "$walker1_total" ] && [ "$ours_total" = "$walkerN_total" ] && [ "$ours_items" = "$walker1_items" ] && [ "$ours_items" = "$walkerN_items" ] && echo 1)")."
    echo "- Totals against du: du -s -x -B1 gives $du_total; less the folders' own blocks ($dir_bytes, from find; the walker saw $walker_dirs) that is $((du_total - dir_bytes)): $(verdict "$([ $((du_total - dir_bytes)) = "$ours_total" ] && echo 1)"). gdu's total (folders included): $gdu_total."
    echo "- Speed (warm): hollowmere-scan takes ${speed}x the time of $floor, the multi-threaded floor; target at most 1.15x: $(verdict "$(awk -v s="$speed" 'BEGIN { print (s <= 1.15) ? 1 : 0 }')")."
    echo "- Memory (warm): hollowmere-scan peaks at $((ours_peak_bytes / 1048576)) MiB; limit 1.3 × storage + 30 MiB = $((memory_limit / 1048576)) MiB: $(verdict "$([ "$ours_peak_bytes" -le "$memory_limit" ] && echo 1)")."
    [ -n "$cold_note" ] && echo "- $cold_note"
    echo
  } >>"$report"
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
ensure_tree 100k 100000
[ "$small_only" = 0 ] && ensure_tree 1m 1000000
bench_tree 100k
[ "$small_only" = 0 ] && bench_tree 1m
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# --- RESULTS.md ---------------------------------------------------------------------------
commit=$(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo unknown)
[ -n "$(git -C "$repo" status --porcelain 2>/dev/null)" ] && commit="$commit with uncommitted changes"
fs_line=$(findmnt -n -o FSTYPE,SOURCE,OPTIONS -T "$bench_dir" 2>/dev/null | awk '{ print $1 " on " $2 " (" $3 ")" }')
{
  echo "# Peer comparison"
  echo
  echo "Written by bench/peers.sh on $(date -u '+%Y-%m-%d %H:%M UTC'), commit $commit."
  echo "The targets apply to the warm 1,000,000-entry tree; they are shown for every tree."
  echo
  echo "## Machine"
  echo
  echo "- CPU: $(grep -m 1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $cores cores online"
  echo "- RAM: $(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)"
  echo "- System: $(. /etc/os-release 2>/dev/null && echo "$PRETTY_NAME"), kernel $(uname -r) ($(uname -m))"
  echo "- Trees: $bench_dir on ${fs_line:-$(stat -f -c %T "$bench_dir")}"
  echo "- Load average (1, 5, 15 min) before: $load_before; after: $load_after"
  if awk -v a="${load_before%% *}" -v b="${load_after%% *}" -v c="$cores" 'BEGIN { exit !(a > c / 2 || b > c / 2) }'; then
    echo "- **The machine was busy** (a load average above half its cores): other work competed for the"
    echo "  processors, so wall times and their ratios are not representative; CPU times are steadier."
  fi
  echo "- Peers: $(du --version | head -n 1); gdu $("$gdu_bin" --version 2>&1 | awk '/Version/ { print $2; exit }'); $(ncdu -v 2>&1 | head -n 1)"
  echo
  echo "walker-1 and walker-$cores are bench/ref_walker with 1 and $cores threads: getdents64 and fstatat"
  echo "only, the least a scan can do. Wall and CPU time (user + system) are medians; peak RSS is the"
  echo "largest of the runs. CPU time is the steadier figure when other work shares the machine."
  echo
  cat "$report"
} >"$results.tmp"
mv "$results.tmp" "$results"
cat "$results"
