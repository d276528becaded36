#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the two Debian packages from a built tree into a scratch folder and checks them as a
# Debian packager would: the files each must hold and nothing of the build tree, the tests or
# the demo; their control fields (the command line's Depends name no Qt, the window's name
# albumora of its own version); lintian with no error or warning; the copyright file read by
# python3-debian's parser; hardening-check on both programs; the metadata; and the extracted
# programs answering --version with no display.
# Usage: check-deb.sh CPACK CPACK_CONFIG VERSION APP_ID     (exit 77: skipped)
set -euo pipefail
cpack=$1 config=$2 version=$3 app_id=$4

# Debian's own interpreter: python3-debian is a package of its, not of another python on PATH.
python=/usr/bin/python3
missing=()
for tool in "$cpack" dpkg-deb dpkg-shlibdeps lintian hardening-check appstreamcli "$python"; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
"$python" -c 'import debian.copyright' 2>/dev/null || missing+=(python3-debian)
if [ ${#missing[@]} -gt 0 ]; then
  echo "SKIP: missing ${missing[*]} (scripts/install-deps.sh installs them)"
  # CI has run scripts/install-deps.sh: a tool missing there is that script's fault.
  [ -n "${CI:-}" ] && exit 1
  exit 77
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if ! "$cpack" -G DEB --config "$config" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  echo "FAIL: cpack could not build the packages"
  exit 1
fi
cli=$scratch/out/albumora_${version}_amd64.deb
gui=$scratch/out/albumora-gui_${version}_amd64.deb
for deb in "$cli" "$gui"; do
  if [ ! -f "$deb" ]; then
    ls "$scratch/out"
    echo "FAIL: no $(basename "$deb")"
    exit 1
  fi
done

# The files: each package holds its own, and no file of the build tree, the tests or the demo.
contents() { dpkg-deb -c "$1" | awk '{ print $6 }' | sed 's|^\./|/|'; }
contents "$cli" >"$scratch/cli.contents"
contents "$gui" >"$scratch/gui.contents"
check_files() { # LIST PROGRAM WANTED...
  local list=$1 program=$2 path
  shift 2
  for path in "$@"; do
    grep -qxF "$path" "$list" || fail "$(basename "$list" .contents) lacks $path"
  done
  while read -r path; do
    case $path in
      /usr/ | /usr/bin/ | "/usr/bin/$program") ;;
      /usr/bin/*) fail "a program that does not belong there: $path" ;;
      /usr/share/*/) ;;
      /usr/share/*test* | /usr/share/*demo* | /usr/share/*bench* | /usr/share/*fuzz* | \
        /usr/share/*CMake* | /usr/share/*cmake* | /usr/share/*_CPack* | /usr/share/*.a | \
        /usr/share/*.h | /usr/share/*.o | /usr/share/*.in)
        fail "a file of the build tree or the tests: $path" ;;
      /usr/share/*) ;;
      *) fail "a file outside /usr/bin and /usr/share: $path" ;;
    esac
  done <"$list"
}
check_files "$scratch/cli.contents" albumora /usr/bin/albumora \
  /usr/share/man/man1/albumora.1.gz /usr/share/bash-completion/completions/albumora \
  /usr/share/doc/albumora/README.md /usr/share/doc/albumora/copyright \
  /usr/share/doc/albumora/changelog.gz
check_files "$scratch/gui.contents" albumora-gui /usr/bin/albumora-gui \
  "/usr/share/applications/$app_id.desktop" /usr/share/icons/hicolor/scalable/apps/albumora.svg \
  /usr/share/man/man1/albumora-gui.1.gz "/usr/share/metainfo/$app_id.metainfo.xml" \
  /usr/share/doc/albumora-gui/copyright /usr/share/doc/albumora-gui/changelog.gz

# The control fields.
field() { dpkg-deb -f "$1" "$2"; }
for deb in "$cli" "$gui"; do
  name=$(basename "$deb" "_${version}_amd64.deb")
  [ "$(field "$deb" Package)" = "$name" ] || fail "$name: Package is '$(field "$deb" Package)'"
  [ "$(field "$deb" Version)" = "$version" ] || fail "$name: Version is not $version"
  [ "$(field "$deb" Architecture)" = amd64 ] || fail "$name: Architecture is not amd64"
  for key in Maintainer Homepage Section Description; do
    [ -n "$(field "$deb" "$key")" ] || fail "$name: no $key field"
  done
  [ "$(field "$deb" Description | wc -l)" -gt 2 ] || fail "$name: no long description"
done
cli_depends=$(field "$cli" Depends)
grep -q libcurl <<<"$cli_depends" || fail "albumora's Depends lacks libcurl: $cli_depends"
if grep -q 'libqt' <<<"$cli_depends"; then fail "albumora depends on Qt: $cli_depends"; fi
gui_depends=$(field "$gui" Depends)
grep -qF "albumora (= $version)" <<<"$gui_depends" ||
  fail "albumora-gui does not depend on albumora (= $version): $gui_depends"
for library in libqt6widgets6 libqt6webenginewidgets6 libqt6webenginecore6-bin; do
  grep -q "$library" <<<"$gui_depends" || fail "albumora-gui's Depends lacks $library"
done
grep -q fonts-noto-cjk <<<"$(field "$gui" Recommends)" || fail "Recommends lacks fonts-noto-cjk"

# Lintian, as Debian's archive runs it: no error and no warning (info and pedantic tags are
# shown, not counted).
if ! lintian --display-info --fail-on error,warning "$cli" "$gui" >"$scratch/lintian.log" 2>&1; then
  fail "lintian reports errors or warnings"
fi
grep -v '^running with root privileges' "$scratch/lintian.log" || true

root=$scratch/root
dpkg-deb -x "$cli" "$root"
dpkg-deb -x "$gui" "$root"

# The copyright file parses in the machine-readable form: every Files paragraph with its
# copyright and licence, every licence it names with its text, the embedded CLI11's too.
for package in albumora albumora-gui; do
  "$python" - "$root/usr/share/doc/$package/copyright" <<'EOF' || fail "$package's copyright file"
import sys
from debian import copyright

with open(sys.argv[1], encoding="utf-8") as source:
    parsed = copyright.Copyright(source, strict=True)
texts = {p.license.synopsis for p in parsed.all_license_paragraphs() if p.license.text}
files = list(parsed.all_files_paragraphs())
faults = []
for paragraph in files:
    if not paragraph.copyright or not paragraph.license:
        faults.append(f"Files: {' '.join(paragraph.files)} lacks Copyright or License")
    elif not paragraph.license.text and paragraph.license.synopsis not in texts:
        faults.append(f"no text for licence {paragraph.license.synopsis}")
if not files or files[0].files != ("*",) or files[0].license.synopsis != "GPL-3+":
    faults.append("the first Files paragraph is not '*' under GPL-3+")
if "BSD-3-clause" not in texts:
    faults.append("no BSD-3-clause paragraph (the embedded CLI11)")
for fault in faults:
    print(fault)
sys.exit(1 if faults else 0)
EOF
done

# Hardening as dpkg-buildflags gives it on Debian 12: PIE, stack protector, fortified calls,
# RELRO and immediate binding (control-flow protection is not among Debian 12's flags).
hardening-check --nocfprotection "$root/usr/bin/albumora" "$root/usr/bin/albumora-gui" ||
  fail "hardening-check"

# The programs, man pages, changelogs and metadata carry this version.
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
shown=$("${nodisplay[@]}" "$root/usr/bin/albumora" --version) || fail "albumora --version failed"
[ "$shown" = "albumora $version" ] || fail "albumora --version shows '$shown'"
shown=$("${nodisplay[@]}" "$root/usr/bin/albumora-gui" --version) ||
  fail "albumora-gui --version failed with no display"
[ "$shown" = "albumora-gui $version" ] || fail "albumora-gui --version shows '$shown'"
"${nodisplay[@]}" "$root/usr/bin/albumora-gui" --help | grep -q '^usage: albumora-gui' ||
  fail "albumora-gui --help with no display"
status=0
said=$("${nodisplay[@]}" "$root/usr/bin/albumora-gui" 2>&1) || status=$?
{ [ "$status" = 1 ] && [ "$(wc -l <<<"$said")" = 1 ]; } ||
  fail "albumora-gui with no display: exit $status, '$said' (wanted one line and exit 1)"
for page in albumora albumora-gui; do
  zcat "$root/usr/share/man/man1/$page.1.gz" | grep -q "\"$page $version\"" ||
    fail "the man page $page.1 does not name version $version"
  zcat "$root/usr/share/doc/$page/changelog.gz" | head -1 | grep -qF "albumora ($version)" ||
    fail "$page's changelog.gz does not start with version $version"
done
metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
for wanted in "<release version=\"$version\"" "<launchable type=\"desktop-id\">$app_id.desktop<" \
  '<project_license>GPL-3.0-or-later<' '<developer_name>' '<url type="homepage">' \
  '<url type="bugtracker">'; do
  grep -qF "$wanted" "$metainfo" || fail "the metainfo lacks $wanted"
done
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects the metainfo"
desktop=$root/usr/share/applications/$app_id.desktop
grep -qx 'StartupWMClass=.*' "$desktop" || fail "the desktop entry has no StartupWMClass"
main=$(sed -n 's/^Categories=//p' "$desktop" | tr ';' '\n' |
  grep -cxE 'AudioVideo|Audio|Video|Development|Education|Game|Graphics|Network|Office|Science|Settings|System|Utility' || true)
[ "$main" = 1 ] || fail "the desktop entry has $main main categories, not one"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed; package contents:"
  cat "$scratch/cli.contents" "$scratch/gui.contents"
  exit 1
fi
echo "albumora and albumora-gui $version: $(grep -vc '/$' "$scratch/cli.contents") and" \
  "$(grep -vc '/$' "$scratch/gui.contents") files, lintian clean, checks passed"
