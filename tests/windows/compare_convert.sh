#!/usr/bin/env bash
# Runs the Linux vemo-convert and vemo-convert.exe (under wine) on the same inputs and compares
# what they leave behind: the output file's bytes, standard output, standard error, the exit
# status, and no stray file beside the output. Exits 1 on any difference.
#
#   tests/windows/compare_convert.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR
#
# Inputs: every axegen profile (a few MB each, made by the Linux axegen), the samples, two files
# named in Unicode, gzip and zstd forms (one cut short), an empty file, a folder and a missing
# file. Each runs with -o FILE, -o -,
# --sample, -j 1 and -j 2; then all of them in one run, one output per input (--output-dir),
# standard input as a data file and as a file list, an output that exists, is an input or is a
# data file, a reader that stops early (| head), the help, the version and a usage error.
#
# Messages are compared as they are: both programs call themselves "vemo-convert", and every name
# is passed relative with '/', which both systems take, so nothing needs normalising.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: compare_convert.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR" >&2
  exit 2
fi
linux=$(realpath "$1/vemo-convert")
axegen=$(realpath "$1/tools/axegen")
windows=$(realpath "$2/vemo-convert.exe")
root=$(cd "$(dirname "$0")/../.." && pwd)

export LC_ALL=C.UTF-8  # wine turns the arguments into UTF-16 by the locale
export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/vemo/wine}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
# One wine server for all runs (it stays a minute after the last), or every run costs seconds.
wineserver -p60 2>/dev/null || true  # already running: it stays

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
in="$work/in"
mkdir -p "$in" "$in/a folder"

gen() {  # NAME PROFILE SIZE SEED
  "$axegen" --profile "$2" --size "$3" --seed "$4" -o "$in/$1"
}
gen realistic.dat realistic 6M 1  # large enough to be decoded in parallel with -j 2
gen edge.dat edge 3M 2
gen random.dat random 2M 3
gen skips.dat skips 2M 4
for seed in 0 1 2 3 4; do gen "invalid-$seed.dat" invalid 256K "$seed"; done
gen "Zürich 2026.dat" realistic 1M 5
gen "Отчёт за март.dat" edge 1M 6
: >"$in/empty.dat"
cp "$root"/samples/*.dat "$in/"
# Compressed inputs: gzip in two members, zstd, and a gzip stream cut short.
{ head -c 1000000 "$in/realistic.dat" | gzip -c; tail -c +1000001 "$in/realistic.dat" | gzip -c; } \
  >"$in/packed.dat.gz"
zstd -q -c "$in/edge.dat" >"$in/packed-z.dat.zst"
gzip -c "$in/random.dat" >"$work/whole.gz"
head -c 300000 "$work/whole.gz" >"$in/cut.dat.gz"

inputs=()
while IFS= read -r -d '' f; do inputs+=("../../in/${f#"$in/"}"); done \
  < <(find "$in" -maxdepth 1 -type f \( -name '*.dat' -o -name '*.dat.gz' -o -name '*.dat.zst' \) \
    -print0 | sort -z)

cases=0
differences=0

# Runs one case on both systems, each in a folder of its own with the inputs two levels up, and
# compares the two folders. $setup, when set, runs in the folder first; $stdin is the file
# standard input reads (default: none).
setup=""
stdin=/dev/null
# same_in_both CASE WHAT: counts the case, and reports it when its two folders differ.
same_in_both() {
  cases=$((cases + 1))
  if ! diff -r "$work/linux/$1" "$work/windows/$1" >"$work/diff" 2>&1; then
    differences=$((differences + 1))
    echo "DIFFERENT: $2"
    head -n 20 "$work/diff"
  fi
}
compare() {  # CASE ARGUMENT...
  local name=$1
  shift
  local system dir
  for system in linux windows; do
    dir="$work/$system/$name"
    mkdir -p "$dir"
    local status=0
    local program=("$linux")
    [ $system = linux ] || program=(wine "$windows")
    (cd "$dir" && eval "$setup" && "${program[@]}" "$@" <"$stdin" >stdout 2>stderr) || status=$?
    echo "$status" >"$dir/status"
  done
  same_in_both "$name" "$name: vemo-convert $*"
}

for input in "${inputs[@]}" "../../in/a folder" "../../in/missing.dat"; do
  base=$(basename "$input")
  compare "$base -o FILE" -o out.csv "$input"
  compare "$base -o -" -o - "$input"
  compare "$base --sample" --sample -o out.csv "$input"
  compare "$base -j 1" -j 1 -o out.csv "$input"
  compare "$base -j 2" -j 2 -o out.csv "$input"
done

compare "--help" --help
compare "--version" --version
compare "usage error" -o out.csv --no-such-option ../../in/realistic.dat

all=("${inputs[@]}" "../../in/missing.dat")
compare "all -o FILE" -o out.csv "${all[@]}"
compare "all -o -" -o - "${all[@]}"
compare "all --sample" --sample -o out.csv "${all[@]}"
compare "all -j 1" -j 1 -o - "${all[@]}"
compare "all -j 2" -j 2 -o - "${all[@]}"
compare "all --stop-on-invalid" --stop-on-invalid -o out.csv "${all[@]}"
compare "all --output-dir" --output-dir . "${inputs[@]}"

# Standard input as a data file, and as the list of files to convert.
stdin="$in/realistic.dat" compare "stdin -o -" -o - -
stdin="$in/realistic.dat" compare "stdin --sample" --sample -o out.csv -
stdin="$in/packed.dat.gz" compare "stdin gzip -o -" -o - -
stdin="$in/packed-z.dat.zst" compare "stdin zstd -j 2 -o -" -j 2 -o - -
# Compressed outputs: the same compressed bytes from the same library versions.
compare "all -o FILE.gz" -o out.csv.gz "${inputs[@]}"
compare "all --compress=zstd --output-dir" -j 2 --compress=zstd --output-dir . "${inputs[@]}"
printf '%s\n' "${all[@]}" >"$work/list"
stdin="$work/list" compare "--files-from -" -j 2 -o out.csv --files-from -
# An output that exists is replaced whole; one that is an input, or an AXE data file, is refused.
setup="printf 'old\n' >out.csv" compare "replaces the old output" -o out.csv "${inputs[@]}"
setup="cp ../../in/switch-a.dat mine.dat" compare "output is an input" -o mine.dat \
  ../../in/switch-b.dat mine.dat
setup="cp ../../in/switch-a.dat mine.dat" compare "output is a data file" -o mine.dat \
  ../../in/switch-b.dat
setup="cp ../../in/switch-a.dat mine.dat" compare "output is a data file, --force" --force \
  -o mine.dat ../../in/switch-b.dat

# A reader that takes the first lines and closes the pipe: both end quietly, as by SIGPIPE.
for system in linux windows; do
  dir="$work/$system/head"
  mkdir -p "$dir"
  program=("$linux")
  [ $system = linux ] || program=(wine "$windows")
  (
    cd "$dir"
    set +e +o pipefail
    "${program[@]}" -o - ../../in/realistic.dat 2>stderr | head -c 1000 >stdout
    echo "${PIPESTATUS[0]}" >status
  )
done
same_in_both head "a reader that stops early (| head -c 1000)"

echo "compare_convert: $cases cases, $differences different"
[ "$differences" -eq 0 ]
