# Sourced by the database loaders: refuses, before anything is loaded, an output that is not a
# readable vemo-convert csv with the file and offset columns, or whose last row was cut short.
#   require_loadable_csv NAME OUTPUT.csv...   (NAME starts the messages; exits 2 on a refusal)
require_loadable_csv() {
  local me=$1 csv
  shift
  local header=$'file,offset,date,time,number1,number2,elapsed_seconds,counter,text1,text2,skipped\r'
  for csv; do
    [ -f "$csv" ] && [ -r "$csv" ] || { echo "$me: cannot read $csv" >&2; exit 2; }
    # The first line only, however long the file is without a line break.
    [ "$(head -c 200 "$csv" | head -n 1 | tr -d '\0')" = "$header" ] || {
      echo "$me: $csv is not a vemo-convert csv with --with-filename --with-offset" >&2
      exit 2
    }
    # A conversion that was stopped can leave its last row cut short.
    [ "$(tail -c 1 "$csv" | od -An -c | tr -d ' ')" = '\n' ] || {
      echo "$me: $csv does not end with a line break; was its conversion stopped?" >&2
      exit 2
    }
  done
}
