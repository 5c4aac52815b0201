#!/usr/bin/env bash
# Installs the build into a private prefix, as `cmake --install` and the package do, and checks the
# tree with the validators that menus and software centres apply, and what they look up in it.
# Usage: installTreeTest.sh <build folder> <version of the build>
set -uo pipefail
build=$1 version=$2
failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}
# Runs a validator; its report is shown only when it fails.
validate() {
    local report
    report=$("$@" 2>&1) || fail "$*"$'\n'"$report"
}

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
cmake --install "$build" --prefix "$root/usr" >/dev/null || { echo "FAIL: cmake --install" >&2; exit 1; }
share=$root/usr/share
metainfo=$share/metainfo/org.example.web2arc.metainfo.xml
desktop=$share/applications/web2arc.desktop

for path in "$root/usr/bin/web2arc" "$desktop" "$metainfo" "$share/mime/packages/web2arc.xml" \
    "$share/icons/hicolor/scalable/apps/web2arc.svg" "$share/bash-completion/completions/web2arc"; do
    [[ -s $path ]] || fail "not installed: ${path#"$root"}"
done

# The validators: warnings and hints fail too, and nothing is fetched (the tree's launchable must name
# the installed desktop entry).
for tool in appstreamcli desktop-file-validate; do
    command -v "$tool" >/dev/null || fail "$tool is missing (script/bootstrap installs it)"
done
validate appstreamcli validate --no-net --strict "$metainfo"
validate appstreamcli validate-tree --no-net --strict "$root"
validate desktop-file-validate "$desktop"

# The newest release named is this build's version.
newest=$(grep -o -m1 '<release version="[^"]*"' "$metainfo" | cut -d'"' -f2)
[[ $newest == "$version" ]] || fail "newest release in the metainfo is '$newest', the build is $version"

# Every type the metainfo says the program opens is one the desktop entry opens too.
mime_types=$(sed -n 's/^MimeType=//p' "$desktop")
while read -r type; do
    [[ ";$mime_types" == *";$type;"* ]] || fail "$type is in the metainfo but not in the desktop entry"
done < <(sed -n 's:.*<mediatype>\(.*\)</mediatype>.*:\1:p' "$metainfo")
grep -q 'type="application/x-batch-web2arc"' "$share/mime/packages/web2arc.xml" || fail "project type not defined"

# The icon the entry names exists at every size, each PNG as large as its folder says.
icon=$(sed -n 's/^Icon=//p' "$desktop")
for size in 16 24 32 48 64 128 256; do
    png=$share/icons/hicolor/${size}x${size}/apps/$icon.png
    if [[ ! -s $png ]]; then
        fail "no $size px icon"
        continue
    fi
    read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
        awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4, $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }')
    [[ "$width x $height" == "$size x $size" ]] || fail "the $size px icon is $width x $height"
done
[[ -s $share/icons/hicolor/scalable/apps/$icon.svg ]] || fail "no scalable icon named $icon"

exit "$failed"
