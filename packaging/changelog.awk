# SPDX-License-Identifier: GPL-3.0-or-later
# Turns CHANGELOG.md into what the packages carry, at configure time (packaging/Packaging.cmake):
#   awk -v mode=debian -v package=NAME -v maintainer='NAME <ADDRESS>' -f changelog.awk CHANGELOG.md
#     the Debian changelog (native form: one entry per release, newest first)
#   awk -v mode=appstream -f changelog.awk CHANGELOG.md
#     the AppStream <releases> element, each release with its notes
# A release is a heading "## VERSION - YYYY-MM-DD"; under it, each "- " item is a bullet and any
# other paragraph a paragraph of its own. Headings without a date (work not released) are left out.

function flush_item() {
  if (item != "") {
    count[nrel]++
    kind[nrel, count[nrel]] = item_kind
    text[nrel, count[nrel]] = item
  }
  item = ""
}

function add_text(line) {
  sub(/^[ \t]+/, "", line)
  sub(/[ \t]+$/, "", line)
  item = item == "" ? line : item " " line
}

# Day of the week, 0 for Sunday (Sakamoto's method).
function weekday(y, m, d,    t) {
  split("0 3 2 5 0 3 5 1 4 6 2 4", t, " ")
  if (m < 3) y--
  return (y + int(y / 4) - int(y / 100) + int(y / 400) + t[m] + d) % 7
}

# The text wrapped to 78 columns: the first line after FIRST, the others after REST.
function wrap(s, first, rest,    n, words, i, line, out) {
  n = split(s, words, " ")
  line = first
  out = ""
  for (i = 1; i <= n; i++) {
    if (line != first && line != rest && length(line) + 1 + length(words[i]) > 78) {
      out = out line "\n"
      line = rest
    }
    line = (line == first || line == rest) ? line words[i] : line " " words[i]
  }
  return out line "\n"
}

function xml(s) {
  gsub(/&/, "\\&amp;", s)
  gsub(/</, "\\&lt;", s)
  gsub(/>/, "\\&gt;", s)
  gsub(/`/, "", s)
  return s
}

/^## / {
  flush_item()
  inrel = 0
  if (match($0, /^## [^ ]+ - [0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] *$/)) {
    nrel++
    version[nrel] = $2
    date[nrel] = $4
    inrel = 1
  }
  next
}
/^#/ { flush_item(); inrel = 0; next }
!inrel { next }
/^[ \t]*$/ { flush_item(); next }
/^- / {
  flush_item()
  item_kind = "li"
  add_text(substr($0, 3))
  next
}
/^[ \t]/ { add_text($0); next }
{
  if (item == "") item_kind = "p"
  add_text($0)
}

END {
  flush_item()
  if (mode == "debian") {
    split("Sun Mon Tue Wed Thu Fri Sat", days, " ")
    split("Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec", months, " ")
    for (r = 1; r <= nrel; r++) {
      split(date[r], ymd, "-")
      printf "%s (%s) unstable; urgency=medium\n\n", package, version[r]
      for (i = 1; i <= count[r]; i++) printf "%s", wrap(text[r, i], "  * ", "    ")
      printf "\n -- %s  %s, %s %s %s 12:00:00 +0000\n", maintainer,
        days[weekday(ymd[1] + 0, ymd[2] + 0, ymd[3] + 0) + 1], ymd[3], months[ymd[2] + 0], ymd[1]
      if (r < nrel) printf "\n"
    }
  } else if (mode == "appstream") {
    if (nrel == 0) exit
    printf "<releases>\n"
    for (r = 1; r <= nrel; r++) {
      printf "    <release version=\"%s\" date=\"%s\">\n      <description>\n", version[r], date[r]
      inlist = 0
      for (i = 1; i <= count[r]; i++) {
        if (kind[r, i] == "li" && !inlist) { printf "        <ul>\n"; inlist = 1 }
        if (kind[r, i] != "li" && inlist) { printf "        </ul>\n"; inlist = 0 }
        if (kind[r, i] == "li") printf "          <li>%s</li>\n", xml(text[r, i])
        else printf "        <p>%s</p>\n", xml(text[r, i])
      }
      if (inlist) printf "        </ul>\n"
      printf "      </description>\n    </release>\n"
    }
    printf "  </releases>"
  }
}
