#!/usr/bin/env bash
# Builds the Debian package from a built tree into a scratch folder and checks it: the files it
# must hold, nothing of the build tree, the tests or the demo, its control fields (Depends from
# the shared libraries), and the extracted albumora running.
# Usage: check-deb.sh CPACK CPACK_CONFIG VERSION APP_ID     (exit 77: skipped)
set -euo pipefail
cpack=$1 config=$2 version=$3 app_id=$4

for tool in "$cpack" dpkg-deb dpkg-shlibdeps; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing (cpack comes with cmake, the dpkg tools with dpkg-dev)"
    exit 77
  fi
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if ! "$cpack" -G DEB --config "$config" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  echo "FAIL: cpack could not build the package"
  exit 1
fi
deb=$scratch/out/albumora_${version}_amd64.deb
if [ ! -f "$deb" ]; then
  ls "$scratch/out"
  echo "FAIL: no $(basename "$deb")"
  exit 1
fi

# The files: the ones every installation needs are there, and only those programs.
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$scratch/contents"
for wanted in /usr/bin/albumora /usr/bin/albumora-gui \
  /usr/share/applications/albumora-gui.desktop \
  /usr/share/icons/hicolor/scalable/apps/albumora.svg /usr/share/man/man1/albumora.1 \
  /usr/share/bash-completion/completions/albumora /usr/share/doc/albumora/README.md \
  /usr/share/doc/albumora/copyright "/usr/share/metainfo/$app_id.metainfo.xml"; do
  grep -qxF "$wanted" "$scratch/contents" || fail "the package lacks $wanted"
done
while read -r path; do
  case $path in
    /usr/ | /usr/bin/ | /usr/bin/albumora | /usr/bin/albumora-gui) ;;
    /usr/bin/*) fail "a program that is not shipped: $path" ;;
    /usr/share/*/) ;;
    /usr/share/*test* | /usr/share/*demo* | /usr/share/*bench* | /usr/share/*fuzz* | \
      /usr/share/*CMake* | /usr/share/*cmake* | /usr/share/*_CPack* | /usr/share/*.a | \
      /usr/share/*.h | /usr/share/*.o | /usr/share/*.in)
      fail "a file of the build tree or the tests: $path" ;;
    /usr/share/*) ;;
    *) fail "a file outside /usr/bin and /usr/share: $path" ;;
  esac
done <"$scratch/contents"

# The control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = albumora ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = amd64 ] || fail "Architecture is '$(field Architecture)'"
for name in Maintainer Section Description; do
  [ -n "$(field "$name")" ] || fail "no $name field"
done
[ "$(field Description | wc -l)" -gt 2 ] || fail "no long description"
depends=$(field Depends)
for library in libcurl libqt6widgets6 libqt6webenginewidgets6 libqt6webenginecore6-bin; do
  grep -q "$library" <<<"$depends" || fail "Depends does not name $library: $depends"
done
grep -q fonts-noto-cjk <<<"$(field Recommends)" || fail "Recommends lacks fonts-noto-cjk"

# The extracted programs and data carry this version.
root=$scratch/root
dpkg-deb -x "$deb" "$root"
shown=$("$root/usr/bin/albumora" --version) || fail "the extracted albumora --version failed"
[ "$shown" = "albumora $version" ] || fail "albumora --version shows '$shown'"
grep -q "\"albumora $version\"" "$root/usr/share/man/man1/albumora.1" ||
  fail "the man page does not name version $version"
head -1 "$root/usr/share/doc/albumora/copyright" |
  grep -qxF 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "the copyright file is not in Debian's machine-readable format"
metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
grep -q "<release version=\"$version\"" "$metainfo" ||
  fail "the metainfo lists no release $version (CHANGELOG.md needs a heading '## $version - DATE')"
grep -q '<launchable type="desktop-id">albumora-gui.desktop</launchable>' "$metainfo" ||
  fail "the metainfo does not launch albumora-gui.desktop"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects the metainfo"
else
  echo "note: appstreamcli (package appstream) is missing; the metainfo is not validated"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed; package contents:"
  cat "$scratch/contents"
  exit 1
fi
echo "albumora_${version}_amd64.deb: $(grep -vc '/$' "$scratch/contents") files, checks passed"
