# Shared by the benchmarks that time ffmod against the ffmpeg program: source
# it, set ffmod, work and rounds, fill cases (a name, the ffmod arguments,
# the ffmpeg arguments; three entries a case), then call compare_cases.

measure() {  # prints "wall_seconds cpu_seconds peak_kB"
  local out=$work/time.txt
  eval "/usr/bin/time -f '%e %U %S %M' -o $out $1" >/dev/null 2>&1 </dev/null || {
    echo "failed: $1" >&2; exit 1; }
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$out"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

compare_cases() {
  printf '\n%-30s %9s %9s %7s %9s %9s %7s %9s %9s\n' "conversion" "ffmod s" "ffmpeg s" "ratio" \
    "ffmod cpu" "ffmpeg cpu" "ratio" "ffmod MB" "ffmpeg MB"
  local i r name at ac am bt bc bm
  for ((i = 0; i < ${#cases[@]}; i += 3)); do
    name=${cases[i]}
    local a_times=() b_times=() a_cpu=() b_cpu=() a_mem=() b_mem=()
    for ((r = 0; r < rounds; r++)); do
      # Alternate which one goes first so that neither profits from warm caches.
      if ((r % 2 == 0)); then
        read -r at ac am < <(measure "$ffmod ${cases[i + 1]}")
        read -r bt bc bm < <(measure "ffmpeg -nostdin -v error ${cases[i + 2]}")
      else
        read -r bt bc bm < <(measure "ffmpeg -nostdin -v error ${cases[i + 2]}")
        read -r at ac am < <(measure "$ffmod ${cases[i + 1]}")
      fi
      a_times+=("$at") b_times+=("$bt") a_cpu+=("$ac") b_cpu+=("$bc") a_mem+=("$am") b_mem+=("$bm")
    done
    at=$(printf '%s\n' "${a_times[@]}" | median)
    bt=$(printf '%s\n' "${b_times[@]}" | median)
    ac=$(printf '%s\n' "${a_cpu[@]}" | median)
    bc=$(printf '%s\n' "${b_cpu[@]}" | median)
    am=$(printf '%s\n' "${a_mem[@]}" | median)
    bm=$(printf '%s\n' "${b_mem[@]}" | median)
    awk -v n="$name" -v at="$at" -v bt="$bt" -v ac="$ac" -v bc="$bc" -v am="$am" -v bm="$bm" 'BEGIN {
      printf "%-30s %9.2f %9.2f %7.3f %9.2f %9.2f %7.3f %9.1f %9.1f\n", n, at, bt,
        (bt > 0 ? at / bt : 0), ac, bc, (bc > 0 ? ac / bc : 0), am / 1024, bm / 1024 }'
  done
  echo
  echo "s = wall time, cpu = user + system seconds, ratio = ffmod / ffmpeg (medians of $rounds"
  echo "rounds); MB = peak resident memory. On a busy machine the cpu ratio is the steadier one."
}
