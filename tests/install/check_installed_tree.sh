#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a packaged Quillmap would hold: the
# files in their places, programs that run from there, a thumbnailer that draws every sample, and
# desktop files that the freedesktop validators accept.
set -uo pipefail
build=$1
samples=$2
prefix=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$prefix" "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }

share=$prefix/share
expected=(bin/quillmap-cli share/man/man1/quillmap-cli.1.gz
          share/bash-completion/completions/quillmap-cli share/zsh/vendor-completions/_quillmap-cli
          share/mime/packages/quillmap.xml share/thumbnailers/quillmap.thumbnailer
          share/doc/quillmap/copyright)
if [ -e "$build/src/app/quillmap" ]; then
    expected+=(bin/quillmap share/applications/quillmap.desktop share/man/man1/quillmap.1.gz
               share/metainfo/org.quillmap.Quillmap.metainfo.xml
               share/icons/hicolor/scalable/apps/quillmap.svg
               share/icons/hicolor/64x64/apps/quillmap.png share/icons/hicolor/256x256/apps/quillmap.png)
fi
for file in "${expected[@]}"; do
    [ -s "$prefix/$file" ] || fail "not installed: $file"
done

cli=$prefix/bin/quillmap-cli
"$cli" --version | grep -q '^quillmap-cli v' || fail "the installed quillmap-cli does not run"

# A PNG's width and height: big-endian words at bytes 16 and 20.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}'; }
check_thumbnail() { # FILE SIZE: a PNG whose longer side is SIZE
    local out=$work/thumb.png
    rm -f "$out"
    if ! "$cli" thumbnail "$1" "$out" --size "$2" >/dev/null 2>"$work/err"; then
        fail "thumbnail of $1: $(cat "$work/err")"
        return
    fi
    read -r width height < <(png_size "$out")
    local longer=$((width > height ? width : height))
    [ "$longer" -eq "$2" ] || fail "thumbnail of $1 is ${width}x${height}, not fitted to $2"
}
if [ -d "$samples" ]; then
    for sample in "$samples"/*.txd "$samples"/*.TXD; do
        [ -e "$sample" ] || continue
        [ "$(basename "$sample")" = cscloth.txd ] && continue # holds no texture
        check_thumbnail "$sample" 128
    done
    # The contract's other form of the input: a file:// URI, here with an escaped space.
    cp "$samples/VEHICLE2.txd" "$work/a b.txd"
    check_thumbnail "file://$work/a%20b.txd" 64
    # A dictionary without textures and a cut file give no picture and exit 1.
    for bad in "$samples/cscloth.txd" <(head -c 200 "$samples/flowerb.txd"); do
        rm -f "$work/none.png"
        "$cli" thumbnail "$bad" "$work/none.png" --size 64 >/dev/null 2>&1
        [ $? -eq 1 ] || fail "thumbnail of a bad file does not exit 1"
        [ -e "$work/none.png" ] && fail "thumbnail of a bad file left an output"
    done
else
    echo "samples folder $samples not found: thumbnails of real files not checked"
fi

if [ -e "$share/applications/quillmap.desktop" ]; then
    desktop-file-validate "$share/applications/quillmap.desktop" || fail "desktop-file-validate"
    appstreamcli validate --no-net --pedantic "$share/metainfo/org.quillmap.Quillmap.metainfo.xml" \
        >"$work/as.log" 2>&1 || { cat "$work/as.log"; fail "appstreamcli validate"; }
    xmllint --noout "$share/metainfo/org.quillmap.Quillmap.metainfo.xml" || fail "xmllint metainfo"
fi
xmllint --noout "$share/mime/packages/quillmap.xml" || fail "xmllint MIME"
XDG_DATA_DIRS="$share:/usr/share" update-mime-database "$share/mime" >"$work/mime.log" 2>&1 || fail "update-mime-database"
[ -s "$work/mime.log" ] && { cat "$work/mime.log"; fail "update-mime-database warned"; }
grep -q 'application/x-txd' "$share/mime/globs2" || fail "*.txd is not registered"
grep -q 'quillmap-cli thumbnail %i %o --size %s' "$share/thumbnailers/quillmap.thumbnailer" ||
    fail "thumbnailer entry"

for page in "$share"/man/man1/*.1.gz; do
    warnings=$(zcat "$page" | groff -man -ww -z 2>&1)
    [ -z "$warnings" ] || fail "$page: $warnings"
done
bash -n "$share/bash-completion/completions/quillmap-cli" || fail "bash completion does not parse"
completion=$(bash -c "source '$share/bash-completion/completions/quillmap-cli'
    COMP_WORDS=(quillmap-cli archive --); COMP_CWORD=2; _quillmap_cli; echo \${COMPREPLY[*]}")
[[ $completion == *--json* ]] || fail "bash completion offers no options of archive: $completion"

[ "$failures" -eq 0 ] || exit 1
echo "installed tree checked"
