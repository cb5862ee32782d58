#!/usr/bin/env bash
# Converts the data files named in LIST on several hosts with GNU parallel. The list is cut into
# batches by the files' sizes (about VEMO_TASK_BYTES of input each, default 1 GiB, and at least
# three batches per job slot), and each job runs one
#   vemo-convert --output-dir OUT_DIR --report - --files-from BATCH
# spread over the logins given (ssh, as parallel's --sshlogin takes them; ":" is this machine,
# "8/host" gives a host 8 job slots; a login without a count is taken to have as many
# processors as this machine). What became of each file is read from the report lines.
#
# The files and OUT_DIR must be on a file system every host sees under the same path (the
# batches are written to a hidden folder in OUT_DIR, removed at the end), and vemo-convert
# installed on every host (or VEMO_CONVERT naming it). VEMO_CONVERT_OPTIONS adds options to
# every vemo-convert (--format=csv --with-filename ...); each decodes on one thread (-j1) unless
# they say otherwise, and the report's checksums are left out.
#
# Prints one line per file: its name, what became of it (converted, skipped, unreadable,
# stopped, or failed: its batch did not convert it), and the records written or why not; then a
# total. Every file that was not converted is also named on standard error, with the reason.
# Exit status:
#   0  every file converted
#   1  a file was skipped: not a data file, or unreadable
#   2  a usage error, or an output failure (the files it left unconverted are named)
#   3  a batch did not finish: a host that could not be reached, a vemo-convert that is missing,
#      a job killed, or parallel missing (the files it left unconverted are named); the
#      results of the batches that finished are kept
#
#   parallel-hosts.sh LIST OUT_DIR [LOGIN...]
#   parallel-hosts.sh files.txt /shared/csv 8/collector1 8/collector2
set -uo pipefail
me=parallel-hosts.sh

if [ $# -lt 2 ]; then
  echo "usage: $me LIST OUT_DIR [LOGIN...]" >&2
  exit 2
fi
list=$1
out_dir=$2
shift 2
[ $# -gt 0 ] || set -- :
converter=${VEMO_CONVERT:-vemo-convert}
task_bytes=${VEMO_TASK_BYTES:-1073741824}
read -r -a options <<<"${VEMO_CONVERT_OPTIONS:-}"

if [ ! -f "$list" ] || [ ! -r "$list" ]; then
  echo "$me: cannot read the list $list" >&2
  exit 2
fi
[ -d "$out_dir" ] || { echo "$me: the output folder $out_dir is not a folder" >&2; exit 2; }
[[ $task_bytes =~ ^[1-9][0-9]*$ ]] || { echo "$me: VEMO_TASK_BYTES is not a number" >&2; exit 2; }
work=$(mktemp -d "$out_dir/.parallel-hosts.XXXXXX") || exit 2
trap 'rm -rf "$work"' EXIT

slots=0
for login in "$@"; do
  if [[ $login =~ ^([0-9]+)/ ]]; then
    slots=$((slots + BASH_REMATCH[1]))
  else
    slots=$((slots + $(nproc)))
  fi
done

# Cuts the list into batches $work/N (names in list order, one a line; a CR ending a line and
# empty lines dropped as vemo-convert does) and writes their paths to $work/batches. Two files
# that would be written to the same output are a usage error, as in one vemo-convert run.
perl -e '
  my ($list, $work, $slots, $most) = @ARGV;
  open(my $in, "<", $list) or die "cannot read $list: $!\n";
  my (@names, @sizes, %taken, $total);
  while (my $name = <$in>) {
    $name =~ s/\r?\n\z//;
    next if $name eq "";
    my $out = $name;
    $out =~ s{(?<=.)/+\z}{};
    $out =~ s{.*/}{}s;
    $out =~ s/(?<=.)\.(gz|zst)\z//;
    $out =~ s/(?<=.)\.[^.]*\z//;
    die "$taken{$out} and $name would both be written to $out\n" if exists $taken{$out};
    $taken{$out} = $name;
    push @names, $name;
    push @sizes, -s $name // 0;
    $total += $sizes[-1];
  }
  my $target = int($total / ($slots * 3));
  $target = $most if $target > $most;
  my ($n, $bytes, $batch) = (0, 0, undef);
  open(my $batches, ">", "$work/batches") or die "$work/batches: $!\n";
  for my $i (0 .. $#names) {
    if (!$batch) {
      ++$n;
      open($batch, ">", "$work/$n") or die "$work/$n: $!\n";
      print $batches "$work/$n\n";
      $bytes = 0;
    }
    print $batch "$names[$i]\n";
    $bytes += $sizes[$i];
    if ($bytes >= $target) { close($batch); undef $batch; }
  }
  close($batch) if $batch;
' "$list" "$work" "$slots" "$task_bytes" 2>"$work/error" || {
  echo "$me: $(cat "$work/error")" >&2
  exit 2
}

# Each job's report lines and messages (vemo-convert's standard error) come out tagged with the
# job's number, which is its batch's; ssh's complaints too, parallel's own untagged.
# A job slot is a processor, so each vemo-convert decodes on one thread (-j1; the options given
# may say otherwise).
job="$(printf '%q ' "$converter" --progress=never --no-checksums -j1 "${options[@]}" \
  --output-dir "$out_dir" --report -)--files-from {} 2>&1 >/dev/null"
if command -v parallel >/dev/null; then
  # This machine alone needs no login: parallel starts its jobs a little faster.
  logins=()
  [ "$*" = : ] || for login in "$@"; do logins+=(--sshlogin "$login"); done
  parallel "${logins[@]}" --joblog "$work/joblog" --tagstring '{#}' -a "$work/batches" "$job" \
    >"$work/results" 2>&1
else
  echo "$me: GNU parallel is missing" >"$work/results"
fi
touch "$work/joblog"

# The report's entries of a batch are in the order of its names: entry i is name i. Names past
# the last entry were not converted; the job log and the job's last message say why.
awk -F'\t' -v me="$me" -v batches="$work/batches" '
  function field(line, key,   at) {
    if (!match(line, "\"" key "\":(\"([^\"\\\\]|\\\\.)*\"|[0-9]+)")) return ""
    at = substr(line, RSTART + length(key) + 3, RLENGTH - length(key) - 3)
    if (at ~ /^"/) { at = substr(at, 2, length(at) - 2); gsub(/\\"/, "\"", at); gsub(/\\\\/, "\\", at) }
    return at
  }
  FILENAME ~ /joblog$/ {
    if (FNR > 1) { host[$1] = $2; exitval[$1] = $7; signal[$1] = $8 }
    next
  }
  {
    tab = index($0, "\t")
    job = substr($0, 1, tab - 1)
    if (tab == 0 || job !~ /^[0-9]+$/) { print > "/dev/stderr"; next }
    line = substr($0, tab + 1)
    # ssh ends its complaints with CR LF, after which parallel repeats the tag.
    sub(/\r[0-9]*\t?$/, "", line)
    if (line ~ /^\{"input":/) { entry[job, ++entries[job]] = line; next }
    if (line ~ /^\{"run":/) { finished[job] = field(line, "exit_status"); next }
    # The last message says why a job ended, but for the hint after a usage error.
    if (line !~ /^Try .vemo-convert --help.\.$/) said[job] = line
  }
  END {
    for (j in host) if (host[j] == ":") host[j] = "this machine"
    worst = 0
    while ((getline path < batches) > 0) {
      ++b
      # Why the names past the last entry of a batch were not converted, and the status that
      # gives: how the job ended first (killed after the last line of its run is still killed).
      ended = 3
      if (!(b in host)) left = "its batch never ran"
      else if (signal[b] != 0 || (exitval[b] > 128 && exitval[b] < 160))
        left = "its batch was killed (signal " (signal[b] ? signal[b] : exitval[b] - 128) ") on " host[b]
      else if (exitval[b] == 255) left = "host " host[b] " could not be reached: " said[b]
      else if (exitval[b] == 127) left = "vemo-convert is missing on " host[b] ": " said[b]
      else if (b in finished) { left = "its batch stopped: " said[b]; ended = 2 }
      else {
        left = "its batch ended with status " exitval[b] " on " host[b] ": " said[b]
        # A usage error (options given that vemo-convert refuses) ends it before its report.
        if (exitval[b] == 2) ended = 2
      }
      if (ended == 2 && finished[b] > worst) worst = finished[b]
      i = 0
      while ((getline name < path) > 0) {
        ++i
        level = 1
        if (i > entries[b]) {
          status = "failed"; why = left; level = ended
        } else {
          e = entry[b, i]
          status = field(e, "status")
          if (status == "converted" && e !~ /"output":/) {
            status = "failed"; why = "its output was not completed"; level = 2
          } else if (status == "stopped" && finished[b] == 2) {
            # The run ended with an output failure inside this file.
            status = "failed"; why = field(e, "reason"); level = 2
          } else if (status == "converted" || status == "up-to-date") {
            why = field(e, "records") " records"; records += field(e, "records"); level = 0
          } else {
            why = field(e, "reason")
          }
        }
        print name "\t" status "\t" why
        ++count[status]
        if (level > 0) printf "%s: not converted: %s: %s\n", me, name, why > "/dev/stderr"
        if (level > worst) worst = level
      }
      close(path)
    }
    printf "%d files: %d converted, %d skipped, %d unreadable, %d failed; %d records\n",
      count["converted"] + count["up-to-date"] + count["skipped"] + count["unreadable"] + \
      count["stopped"] + count["failed"], count["converted"] + count["up-to-date"],
      count["skipped"] + count["stopped"], count["unreadable"], count["failed"], records
    exit worst
  }' "$work/joblog" "$work/results"
