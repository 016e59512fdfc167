#!/usr/bin/env bash
# The lines of the parsers that the committed fuzz corpus reaches.
#   scripts/fuzz-coverage.sh [target ...]
# Builds the fuzz targets (every fuzz/<name>.cpp unless named) with clang's
# source-based coverage into build-coverage/build, runs each once over
# fuzz/corpus/<name>/, and prints with llvm-cov the line coverage of each
# parser source file the target reaches, then of every file over all
# targets together. $BREM_COVERAGE_FILES, an extended regular expression,
# picks the files shown (default: the inbound, encode and store sources and
# zorpack's coder). The report stays in build-coverage/: summary.txt (what
# is printed), <target>.txt (llvm-cov's report of every file), all.txt and
# uncovered.txt (every line of the files shown that no input reaches) and
# html/ (the sources with their counts).
# Needs llvm-cov and llvm-profdata of clang's version (Debian: llvm-14).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build-coverage
build=$out/build
filter=${BREM_COVERAGE_FILES:-'src/(inbound|encode|store)/|tools/zorpack/lzw'}

tool() {
  local t
  for t in "$1-14" "$1"; do
    command -v "$t" >/dev/null && { echo "$t"; return; }
  done
  echo "fuzz-coverage: $1 not found (Debian: apt-get install llvm-14)" >&2
  exit 2
}
cov=$(tool llvm-cov)
profdata=$(tool llvm-profdata)

CC=${CC_FUZZ:-clang} CXX=${CXX_FUZZ:-clang++} cmake -S fuzz -B "$build" -DCMAKE_BUILD_TYPE=Debug \
  -DBREM_FUZZ_COVERAGE=ON >/dev/null
cmake --build "$build" -j"${BREM_FUZZ_JOBS:-2}" >/dev/null

. fuzz/common.sh
fuzz_targets "$@"

rm -rf "$out/profiles" "$out/html" "$out/scratch"
mkdir -p "$out/profiles" "$out/scratch"
objects=()
for t in "${targets[@]}"; do
  bin=$build/bin/fuzz_$t
  if [ ! -x "$bin" ] || [ ! -d "fuzz/corpus/$t" ]; then
    echo "fuzz-coverage: no target or no corpus for $t" >&2
    exit 2
  fi
  # -runs=0: each input of the corpus once, nothing more. The first
  # directory, where libFuzzer would keep new inputs, is a scratch one.
  mkdir -p "$out/scratch/$t"
  LLVM_PROFILE_FILE="$out/profiles/$t.%p.profraw" "$bin" "$out/scratch/$t" "$root/fuzz/corpus/$t" \
    -runs=0 -timeout=60 >"$out/profiles/$t.log" 2>&1 || {
    echo "fuzz-coverage: $t failed on its corpus, see $out/profiles/$t.log" >&2
    exit 1
  }
  "$profdata" merge -sparse "$out/profiles/$t".*.profraw -o "$out/profiles/$t.profdata"
  "$cov" report "$bin" -instr-profile="$out/profiles/$t.profdata" >"$out/$t.txt"
  "$cov" export -summary-only "$bin" -instr-profile="$out/profiles/$t.profdata" >"$out/profiles/$t.json"
  objects+=("$bin")
done
first=${objects[0]}
more=()
for o in "${objects[@]:1}"; do more+=(-object "$o"); done
"$profdata" merge -sparse "$out/profiles"/*.profraw -o "$out/profiles/all.profdata"
# (Functions of the targets' own files that share a name across targets do
# not merge; llvm-cov's warning about them goes to the log.)
"$cov" report "$first" "${more[@]}" -instr-profile="$out/profiles/all.profdata" >"$out/all.txt" 2>"$out/profiles/all.log"
"$cov" export -summary-only "$first" "${more[@]}" -instr-profile="$out/profiles/all.profdata" \
  >"$out/profiles/all.json" 2>>"$out/profiles/all.log"

# The files matching the filter from llvm-cov's summary: all of them, or
# only those with a line reached.
lines() {
  python3 - "$1" "$root/" "$filter" "$2" <<'PY'
import json, re, sys
data, root, pattern, every = json.load(open(sys.argv[1])), sys.argv[2], re.compile(sys.argv[3]), sys.argv[4] == "all"
for f in sorted(data["data"][0]["files"], key=lambda f: f["filename"]):
    name = f["filename"][len(root):] if f["filename"].startswith(root) else f["filename"]
    l = f["summary"]["lines"]
    if not pattern.search(name) or l["count"] == 0 or (l["covered"] == 0 and not every):
        continue
    print("    %-40s %5d of %5d lines  %6.2f%%" % (name, l["covered"], l["count"], l["percent"]))
PY
}

{
  echo "Line coverage by the committed corpus (files matching $filter)"
  for t in "${targets[@]}"; do
    echo "  $t ($(find "fuzz/corpus/$t" -maxdepth 1 -type f | wc -l) inputs):"
    lines "$out/profiles/$t.json" reached
  done
  echo "  all targets together:"
  lines "$out/profiles/all.json" all
} | tee "$out/summary.txt"

# The lines not reached, for the files shown, and the browsable report.
mapfile -t shown < <(python3 -c '
import json, re, sys
root, pattern = sys.argv[2], re.compile(sys.argv[3])
for f in json.load(open(sys.argv[1]))["data"][0]["files"]:
    if pattern.search(f["filename"][len(root):]): print(f["filename"])' "$out/profiles/all.json" "$root/" "$filter")
if [ ${#shown[@]} -gt 0 ]; then
  "$cov" show "$first" "${more[@]}" -instr-profile="$out/profiles/all.profdata" "${shown[@]}" 2>/dev/null \
    | awk '/^\/.*:$/ { file = $0; next } $1 ~ /^[0-9]+\|$/ && $2 == "0|" { print file " " $0 }' >"$out/uncovered.txt"
  "$cov" show "$first" "${more[@]}" -instr-profile="$out/profiles/all.profdata" -format=html \
    -output-dir="$out/html" "${shown[@]}" 2>/dev/null
fi
echo "report: $out/summary.txt, $out/uncovered.txt, $out/html/index.html"
