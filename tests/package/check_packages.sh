#!/usr/bin/env bash
# Checks the release files that `make dist` wrote to DIST (default dist/):
# the .deb, the Windows zip, the source tarball and SHA256SUMS, one check a
# line below; then that `make install` and `make uninstall` (in the tree BUILD
# names, default build/) leave nothing behind.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
dist=${1:-$top/dist}
build=${BUILD:-build}
version=$(sed -n 's/^project(TolvanePacker VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
deb=$dist/tolvane-packer_${version}_$(dpkg --print-architecture).deb
zip=$dist/TolvanePacker-$version-win64.zip
folder=TolvanePacker-$version
source=tolvane-packer-$version
# The release time, taken as the build takes it: SOURCE_DATE_EPOCH, else the
# time the source tarball wrote in, else the last commit's.
release=${SOURCE_DATE_EPOCH:-$(grep -Ex '[0-9]+' "$top/packaging/source-date-epoch" ||
                               git -C "$top" log -1 --format=%ct)}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
root=$tmp/root
passed=0 failed=0

check() {  # NAME COMMAND...: passes when the command succeeds; shows its output when not
    local name=$1; shift
    if ("$@") >"$tmp/log" 2>&1; then echo "PASS $name"; passed=$((passed + 1))
    else echo "FAIL $name"; sed 's/^/    /' "$tmp/log"; failed=$((failed + 1)); fi
}
is() {  # EXPECTED COMMAND...: the command succeeds and prints exactly EXPECTED
    local out; out=$("${@:2}") || { echo "$out"; return 1; }
    echo "$out"; [[ $out == "$1" ]]
}
names() { LC_ALL=C sort | paste -sd' '; }
page=$root/usr/share/man/man1/tvpack.1.gz
dpkg-deb -x "$deb" "$root"
unzip -q "$zip" -d "$tmp"
manual_page() {  # no warnings; each section once, the usual ones in order; the exit status told once; prose first
    local warnings sections usual='NAME|SYNOPSIS|DESCRIPTION|OPTIONS|EXIT STATUS|FILES|EXAMPLES|REPORTING BUGS|COPYRIGHT|SEE ALSO'
    warnings=$(zcat "$page" | groff -man -z -ww -t 2>&1); echo "$warnings"
    sections=$(zcat "$page" | sed -n 's/^\.SH //p' | tr -d '"'); echo "$sections" | paste -sd'|'
    [[ -z $warnings ]] && lexgrog "$page" | grep -q '"tvpack - pack game mods' && MANWIDTH=80 man -l "$page" >"$tmp/page" &&
        grep -q 'verify \[--strict\] ARCHIVE.tvp' "$tmp/page" && [[ $(grep -ci 'exit status' "$tmp/page") -eq 1 ]] &&
        [[ -z $(sort <<<"$sections" | uniq -d) && $(grep -Ex "$usual" <<<"$sections" | paste -sd'|') == "$usual" ]] &&
        zcat "$page" | sed -n '/^\.SH DESCRIPTION/{n;p}' | grep -qx '\.B tvpack'
}
manual_plain_options() { [[ -s $page ]] && { zcat "$page" | grep -v '^\.B ' | grep -P '(?<!\\fB)\\-\\-[a-z]' || true; }; }
manual_date() { zcat "$page" | sed -n 's/^\.TH [^"]*"1" "\([^"]*\)".*/\1/p'; }
deb_times() { dpkg-deb --fsys-tarfile "$deb" | tar -tv --full-time --utc | awk '{print $4 " " $5}' | sort -u; }
completion() {  # SHELL WORDS EXPECTED: what bash or fish offers in a folder of a mod, an archive, a text and a folder
    mkdir -p "$tmp/mod/d" && cd "$tmp/mod" && touch a.tvx b.tvp c.txt || return
    local got words
    if [[ $1 == bash ]]; then
        source "$root/usr/share/bash-completion/completions/tvpack" || return
        read -ra COMP_WORDS <<<"$2"; [[ $2 == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _tvpack; got="${COMPREPLY[*]}"
    else
        got=$(fish --no-config -c "source $root/usr/share/fish/vendor_completions.d/tvpack.fish; complete -C '$2'" | cut -f1 | names)
    fi
    echo "'$2' completes to '$got'"; [[ $got == "$3" ]]
}
file_types() {  # the shared-mime-info entry parses and names both extensions
    python3 -c 'import sys, xml.etree.ElementTree as ET
print(sorted(g.get("pattern") for g in ET.parse(sys.argv[1]).iter("{http://www.freedesktop.org/standards/shared-mime-info}glob")))' \
        "$root/usr/share/mime/packages/tolvane-packer.xml"
}
windows_text() {  # every line of the file ends in CR LF, and only one CR
    [[ -s $tmp/$folder/$1 ]] && ! grep -qv $'\r$' "$tmp/$folder/$1" && ! grep -q $'\r\r$' "$tmp/$folder/$1"
}
windows_readme() {  # tells every command tvpack has, and its exit codes
    local commands command text=$tmp/$folder/README.txt
    commands=$("$root/usr/bin/tvpack" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z]*\) .*/\1/p'); echo "commands: $commands"
    [[ -n $commands ]] || return
    for command in $commands; do grep -q "^  tvpack $command " "$text" || { echo "no 'tvpack $command'"; return 1; }; done
    for code in 0 1 2; do grep -q "^  $code   " "$text" || { echo "no exit code $code"; return 1; }; done
}
version_resource() {  # the fixed numbers (signature, layout, file and product version) and the strings
    local a b c d strings
    IFS=. read -r a b c d <<<"$version"
    local ms=$(((a << 16) | ${b:-0})) ls=$(((${c:-0} << 16) | ${d:-0}))
    wrestool -x --raw -t16 "$tmp/$folder/$1" >"$tmp/$1.res" || return
    od -An -tu4 -w24 -j40 -N24 "$tmp/$1.res" | tee /dev/stderr | grep -q "^ *4277077181 *65536 *$ms *$ls *$ms *$ls$" || return
    strings=$(strings -el -n3 "$tmp/$1.res" | tr '\n' '|'); echo "$strings"
    [[ $strings == *"|FileVersion|$version|"* && $strings == *"|ProductVersion|$version|"* &&
       $strings == *"|ProductName|Tolvane Packer|"* && $strings == *"|LegalCopyright|Copyright (c) 2026 Tolvane Packer developers|"* ]]
}
manifests_and_icons() {  # the window program's exactly as in its resources (the icon file holds one image);
    # tvpack's manifest runs it as invoker with long paths, its icon is the window program's
    local manifest tvpack=$tmp/$folder/tvpack.exe app=$tmp/$folder/TolvanePacker.exe
    wrestool -x --raw -t24 "$app" | cmp - "$top/app/resources/app.manifest" && wrestool -l -t14 "$app" | grep -q -- '--name=200 ' &&
        wrestool -x --raw -t3 "$app" | cmp - <(tail -c +23 "$top/app/resources/app_icon.ico") || return
    manifest=$(wrestool -x --raw -t24 -n1 "$tvpack"); echo "$manifest"
    python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parseString(sys.stdin.read())' <<<"$manifest" &&
        grep -q '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' <<<"$manifest" &&
        grep -q '<longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true</longPathAware>' <<<"$manifest" &&
        cmp <(wrestool -x -t14 "$tvpack") <(wrestool -x -t14 "$app") && cmp <(wrestool -x -t3 "$tvpack") <(wrestool -x -t3 "$app")
}
link_time() {  # the PE header's link time: 8 bytes into the header, whose offset is at 0x3c
    local pe; pe=$(od -An -tu4 -j60 -N4 "$tmp/$folder/$1") && od -An -tu4 -j$((pe + 8)) -N4 "$tmp/$folder/$1" | tr -d ' '
}
source_tarball() {  # the commit's files in one folder, its release time filled in, nothing built
    local names; names=$(tar -tzf "$dist/$source.tar.gz") || return
    grep -qx "$source/CMakeLists.txt" <<<"$names" && grep -qx "$source/packaging/debian/changelog" <<<"$names" &&
        ! grep -v "^$source/" <<<"$names" && ! grep -E '__pycache__|\.pyc$|^[^/]*/(build|dist)/' <<<"$names" &&
        tar -xzOf "$dist/$source.tar.gz" "$source/packaging/source-date-epoch" | grep -Eqx '[0-9]+'
}
install_uninstall() {  # make install puts the license once and no Debian file; make uninstall takes all back
    local stage=$tmp/stage
    make -C "$top" --no-print-directory BUILD="$build" install DESTDIR="$stage" PREFIX=/usr >/dev/null || return
    [[ -f $stage/usr/share/doc/tolvane-packer/LICENSE && -f $stage/usr/share/zsh/site-functions/_tvpack ]] &&
        [[ ! -e $stage/usr/share/doc/tolvane-packer/copyright && ! -e $stage/usr/share/mime ]] || return
    make -C "$top" --no-print-directory BUILD="$build" uninstall DESTDIR="$stage" PREFIX=/usr >/dev/null || return
    is "" find "$stage" ! -type d && [[ ! -d $stage/usr/share/doc/tolvane-packer ]]
}
doc=./usr/share/doc/tolvane-packer
check "deb: exactly its files, the license only as copyright" is "./usr/bin/tvpack ./usr/share/bash-completion/completions/tvpack\
 $doc/README.md $doc/changelog.gz $doc/copyright ./usr/share/fish/vendor_completions.d/tvpack.fish\
 ./usr/share/man/man1/tvpack.1.gz ./usr/share/mime/packages/tolvane-packer.xml ./usr/share/zsh/vendor-completions/_tvpack" \
    eval 'cd "$root" && find . -type f | names'
# Info tags lintian may still give, each for a reason:
#  hardening-no-fortify-functions: tvpack is built with _FORTIFY_SOURCE, but
#  its few fortifiable calls (read, pread, getcwd) write through pointers whose
#  size the compiler cannot know, so none becomes a checked call.
check "deb: lintian --pedantic finds nothing" is "" eval 'lintian --pedantic --display-info --tag-display-limit 0 "$deb" 2>&1 |
    grep -v -e "root privileges" -e "^I: tolvane-packer: hardening-no-fortify-functions \[usr/bin/tvpack\]$" || true'
check "deb: tvpack --version" is "tvpack (Tolvane Packer) $version" "$root/usr/bin/tvpack" --version
check "deb: manual page reads without warnings, its sections in order" manual_page
check "deb: manual page options in bold: a line of .B, or \\fB right before" is "" manual_plain_options
check "deb: manual page dated at the release, not the build day" is "$(LC_ALL=C date -u -d "@$release" '+%B %Y')" manual_date
check "deb: every file and folder carries the release time" is "$(date -u -d "@$release" '+%Y-%m-%d %H:%M:%S')" deb_times
while IFS='|' read -r shell words expected; do
    check "deb: $shell completion of '$words'" completion "$shell" "$words" "$expected"
done <<'ROWS'
bash|tvpack v|verify
bash|tvpack pack |d a.tvx
bash|tvpack list |d b.tvp
bash|tvpack list --|--help --version --json --hash --include --exclude
bash|tvpack diff |d a.tvx b.tvp
fish|tvpack v|verify
fish|tvpack pack |a.tvx d/
fish|tvpack list |b.tvp d/
fish|tvpack extract b.tvp |d/
fish|tvpack extract b.tvp out |
fish|tvpack list --|--exclude --hash --help --include --json --version
ROWS
check "deb: zsh completion: compinit binds tvpack to _tvpack, and the function parses" is _tvpack zsh -f -c \
    'fpath=($1 $fpath); autoload -Uz compinit; compinit -u -D; autoload -Uz +X _tvpack && print -r -- $_comps[tvpack]' \
    zsh "$root/usr/share/zsh/vendor-completions"
check "deb: file types" is "['*.tvp', '*.tvx']" file_types
check "deb: dependencies computed" eval 'dpkg-deb --info "$deb" | grep "^ Depends:" | tee /dev/stderr |
    grep -Eq "libc6 \(>= [0-9.]+\).*libstdc\+\+6 \(>= "'
check "zip: the four files in one folder" is "$folder/ $folder/LICENSE.txt $folder/README.txt $folder/TolvanePacker.exe\
 $folder/tvpack.exe" eval 'unzip -Z1 "$zip" | names'
for text in README.txt LICENSE.txt; do check "zip: $text has Windows line ends" windows_text $text; done
check "zip: README.txt shows every command and exit code" windows_readme
for program in TolvanePacker.exe tvpack.exe; do
    check "zip: $program version resource" version_resource $program
    check "zip: $program link time is the release time, not the build's" is "$release" link_time $program
done
check "zip: manifests and icons" manifests_and_icons
check "source tarball" source_tarball
check "SHA256SUMS" eval '(cd "$dist" && sha256sum --check --strict SHA256SUMS) && [[ $(wc -l <"$dist/SHA256SUMS") -eq 3 ]]'
check "make install and make uninstall" install_uninstall
echo "packages: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
