# Sourced by the scripts that build a library for Windows from Debian's source packages
# (build-qt-windows.sh, build-compression-windows.sh): apt-get source needs a deb-src entry.
#
#   vemo_ensure_deb_src LOG   adds one when the system has none; returns 1 when it cannot

# Derive the entries from the system's own binary sources (the same mirrors, suites and keys), so
# that they work behind any mirror or proxy; only the entries of this release are taken (its
# codename, -updates, -security), and the system's files are not edited.
deb_src_entries() {
  local codename
  codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
  [ -n "$codename" ] || return 0
  # deb822 files: one stanza per blank-line-separated block.
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v codename="$codename" '
      function flush() {
        if (types ~ /(^|[ \t])deb([ \t]|$)/ && suites ~ ("(^|[ \t])" codename "([- \t]|$)") &&
            uris != "" && uris !~ /^cdrom:/ && tolower(enabled) != "no") {
          print "Types: deb-src"; print "URIs: " uris; print "Suites: " suites
          print "Components: " comps
          if (signed != "") print "Signed-By: " signed
          print ""
        }
        types = uris = suites = comps = signed = enabled = key = ""
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      # A line that starts with a space continues the field before it (a key block in Signed-By).
      /^[ \t]/ { if (key == "Signed-By") signed = signed "\n" $0; next }
      { key = $1; sub(/:$/, "", key); val = $0; sub(/^[^:]*:[ \t]*/, "", val) }
      key == "Types" { types = val } key == "URIs" { uris = val } key == "Suites" { suites = val }
      key == "Components" { comps = val } key == "Signed-By" { signed = val }
      key == "Enabled" { enabled = val }
      END { flush() }' "$f"
  done
  # One-line files: each "deb [options] URI suite components" gives its deb-src twin.
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v codename="$codename" '
      $1 == "deb" && $0 !~ /cdrom:/ {
        line = $0; sub(/^deb/, "deb-src", line)
        n = split(line, w, /[ \t]+/); i = 2
        if (w[i] ~ /^\[/) { while (i <= n && w[i] !~ /\]$/) i++; i++ }
        if (w[i + 1] ~ ("^" codename "(-|$)")) print "# one-line: " line
      }' "$f"
  done
}

vemo_ensure_deb_src() {
  local log=$1 sudo="" entries stanzas oneline
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  if grep -rqs -e '^deb-src' -e '^Types:.*deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return 0
  fi
  entries="$(deb_src_entries)"
  if [ -z "$entries" ]; then
    echo "no Debian source of this release found in /etc/apt (for deb-src)" >>"$log"
    return 1
  fi
  stanzas="$(printf '%s\n' "$entries" | grep -v '^# one-line: ' || true)"
  oneline="$(printf '%s\n' "$entries" | sed -n 's/^# one-line: //p')"
  if [ -n "$stanzas" ]; then
    echo "Adding deb-src entries from the system's sources: /etc/apt/sources.list.d/vemo-deb-src.sources" >&2
    printf '%s\n' "$stanzas" | $sudo tee /etc/apt/sources.list.d/vemo-deb-src.sources >/dev/null
  fi
  if [ -n "$oneline" ]; then
    echo "Adding deb-src entries from the system's sources: /etc/apt/sources.list.d/vemo-deb-src.list" >&2
    printf '%s\n' "$oneline" | $sudo tee /etc/apt/sources.list.d/vemo-deb-src.list >/dev/null
  fi
  $sudo apt-get update -qq >>"$log" 2>&1
}
