#!/usr/bin/env bash
# Checks the release files that `make dist` wrote to DIST (default dist/):
# the .deb holds exactly its files, lintian finds nothing in it, its tvpack
# runs, its manual page has its sections once and reads without a warning,
# the bash completion works, the file types parse and the dependencies are
# the ones dpkg-shlibdeps computed; the Windows zip holds its four files in
# one folder, the texts with Windows line ends, and both programs carry the
# version resource, a manifest and the icon, with no link time; the source
# tarball and SHA256SUMS match; `make install` and `make uninstall` (in the
# tree BUILD names, default build/) leave nothing behind.
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
deb_files() {  # exactly these files, nothing twice (the license only as copyright)
    local names
    dpkg-deb -x "$deb" "$root" && names=$(cd "$root" && find . -type f | LC_ALL=C sort | tr '\n' ' ') || return
    echo "$names"
    [[ $names == "./usr/bin/tvpack ./usr/share/bash-completion/completions/tvpack "\
"./usr/share/doc/tolvane-packer/README.md ./usr/share/doc/tolvane-packer/changelog.gz "\
"./usr/share/doc/tolvane-packer/copyright ./usr/share/fish/vendor_completions.d/tvpack.fish "\
"./usr/share/man/man1/tvpack.1.gz ./usr/share/mime/packages/tolvane-packer.xml "\
"./usr/share/zsh/vendor-completions/_tvpack " ]]
}
# Info tags lintian may still give, each for a reason:
#  hardening-no-fortify-functions: tvpack is built with _FORTIFY_SOURCE, but
#  its few fortifiable calls (read, pread, getcwd) write through pointers whose
#  size the compiler cannot know, so none becomes a checked call.
lintian_clean() {
    local tags
    tags=$(lintian --pedantic --display-info --tag-display-limit 0 "$deb" 2>&1 | grep -v 'root privileges')
    echo "$tags"
    ! grep -v '^I: tolvane-packer: hardening-no-fortify-functions \[usr/bin/tvpack\]$' <<<"$tags" | grep -q .
}
version_line() { local out; out=$("$root/usr/bin/tvpack" --version); echo "$out"; [[ $out == "tvpack (Tolvane Packer) $version" ]]; }
manual_page() {
    local page=$root/usr/share/man/man1/tvpack.1.gz warnings
    warnings=$(zcat "$page" | groff -man -z -ww -t 2>&1); echo "$warnings"
    [[ -z $warnings ]] && lexgrog "$page" | grep -q '"tvpack - pack game mods' &&
        MANWIDTH=80 man -l "$page" >"$tmp/page" && grep -q 'verify \[--strict\] ARCHIVE.tvp' "$tmp/page" && grep -q '^EXAMPLES' "$tmp/page"
}
manual_sections() {  # each section once, the usual ones in order; the exit status told once; prose first
    local page=$root/usr/share/man/man1/tvpack.1.gz sections usual
    sections=$(zcat "$page" | sed -n 's/^\.SH //p' | tr -d '"'); echo "$sections" | tr '\n' '|'; echo
    usual=$(grep -Ex 'NAME|SYNOPSIS|DESCRIPTION|OPTIONS|EXIT STATUS|FILES|EXAMPLES|REPORTING BUGS|COPYRIGHT|SEE ALSO' <<<"$sections" |
            tr '\n' '|')
    [[ -z $(sort <<<"$sections" | uniq -d) ]] &&
        [[ $usual == "NAME|SYNOPSIS|DESCRIPTION|OPTIONS|EXIT STATUS|FILES|EXAMPLES|REPORTING BUGS|COPYRIGHT|SEE ALSO|" ]] &&
        [[ $(MANWIDTH=80 man -l "$page" | grep -ci 'exit status') -eq 1 ]] &&
        zcat "$page" | sed -n '/^\.SH DESCRIPTION/{n;p}' | grep -qx '\.B tvpack'
}
manual_bold() {  # every option is bold: a line of .B, or \fB right before it
    local page=$root/usr/share/man/man1/tvpack.1.gz plain
    plain=$(zcat "$page" | grep -v '^\.B ' | grep -P '(?<!\\fB)\\-\\-[a-z]'); echo "$plain"
    [[ -z $plain ]]
}
manual_date() {  # the page's date is the release time's, not the build day's
    local date expected
    date=$(zcat "$root/usr/share/man/man1/tvpack.1.gz" | sed -n 's/^\.TH [^"]*"1" "\([^"]*\)".*/\1/p')
    expected=$(LC_ALL=C date -u -d "@$release" '+%B %Y')
    echo "page: $date, release: $expected"
    [[ -n $date && $date == "$expected" ]]
}
deb_times() {  # every file and folder carries the release time
    local times
    times=$(dpkg-deb --fsys-tarfile "$deb" | tar -tv --full-time --utc | awk '{print $4 " " $5}' | sort -u)
    echo "$times"
    [[ $times == "$(date -u -d "@$release" '+%Y-%m-%d %H:%M:%S')" ]]
}
completion() {
    mkdir "$tmp/mod" && cd "$tmp/mod" && touch a.tvx b.tvp c.txt && mkdir d || return
    source "$root/usr/share/bash-completion/completions/tvpack" || return
    local cases=("tvpack v|verify" "tvpack pack |d a.tvx" "tvpack list |d b.tvp" "tvpack list --|--help --version --json --hash --include --exclude" "tvpack diff |d a.tvx b.tvp")
    for c in "${cases[@]}"; do
        read -ra COMP_WORDS <<<"${c%|*}"; [[ $c == *" |"* ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _tvpack
        [[ "${COMPREPLY[*]}" == "${c#*|}" ]] || { echo "'${c%|*}' completes to '${COMPREPLY[*]}'"; return 1; }
    done
}
fish_completion() {  # fish offers the same as bash
    local cases=("tvpack v|verify" "tvpack pack |a.tvx d/" "tvpack list |b.tvp d/" "tvpack extract b.tvp |d/"
                 "tvpack extract b.tvp out |" "tvpack list --|--exclude --hash --help --include --json --version")
    local c got
    cd "$tmp/mod" || return
    for c in "${cases[@]}"; do
        got=$(fish --no-config -c "source $root/usr/share/fish/vendor_completions.d/tvpack.fish; complete -C '${c%|*}'" |
              cut -f1 | LC_ALL=C sort | paste -sd' ')
        [[ $got == "${c#*|}" ]] || { echo "'${c%|*}' completes to '$got'"; return 1; }
    done
}
zsh_completion() {  # compinit binds tvpack to _tvpack, and the function parses
    zsh -f -c 'fpath=($1 $fpath); autoload -Uz compinit; compinit -u -D; autoload -Uz +X _tvpack && print -r -- $_comps[tvpack]' \
        zsh "$root/usr/share/zsh/vendor-completions" 2>&1 | tee /dev/stderr | grep -qx _tvpack
}
depends() { dpkg-deb --info "$deb" | grep '^ Depends:' | tee /dev/stderr | grep -Eq 'libc6 \(>= [0-9.]+\).*libstdc\+\+6 \(>= '; }
file_types() {  # the shared-mime-info entry parses and names both extensions
    /usr/bin/python3 -c 'import sys, xml.etree.ElementTree as ET
print(sorted(g.get("pattern") for g in ET.parse(sys.argv[1]).iter("{http://www.freedesktop.org/standards/shared-mime-info}glob")))' \
        "$root/usr/share/mime/packages/tolvane-packer.xml" | tee /dev/stderr | grep -qx "\['\*.tvp', '\*.tvx'\]"
}
zip_names() { local names; names=$(unzip -Z1 "$zip" | LC_ALL=C sort | tr '\n' ' '); echo "$names"
    [[ $names == "$folder/ $folder/LICENSE.txt $folder/README.txt $folder/TolvanePacker.exe $folder/tvpack.exe " ]]; }
windows_readme() {  # tells every command tvpack has, and its exit codes
    local text commands command
    text=$(unzip -p "$zip" "$folder/README.txt") || return
    commands=$("$root/usr/bin/tvpack" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z]*\) .*/\1/p')
    echo "commands: $commands"
    [[ -n $commands ]] || return
    for command in $commands; do
        grep -q "^  tvpack $command " <<<"$text" || { echo "README.txt does not show 'tvpack $command'"; return 1; }
    done
    for code in 0 1 2; do grep -q "^  $code   " <<<"$text" || { echo "no exit code $code"; return 1; }; done
}
windows_text() {  # every line of the file ends in CR LF, and only one CR
    unzip -p "$zip" "$folder/$1" >"$tmp/$1" && [[ -s $tmp/$1 ]] && ! grep -qv $'\r$' "$tmp/$1" && ! grep -q $'\r\r$' "$tmp/$1"
}
version_resource() {  # the fixed numbers (signature, layout, file and product version) and the strings
    local a b c d strings
    IFS=. read -r a b c d <<<"$version"
    local ms=$(((a << 16) | ${b:-0})) ls=$(((${c:-0} << 16) | ${d:-0}))
    unzip -p "$zip" "$folder/$1" >"$tmp/$1" && wrestool -x --raw -t16 "$tmp/$1" >"$tmp/$1.res" || return
    od -An -tu4 -w24 -j40 -N24 "$tmp/$1.res" | tee /dev/stderr | grep -q "^ *4277077181 *65536 *$ms *$ls *$ms *$ls$" || return
    strings=$(strings -el -n3 "$tmp/$1.res" | tr '\n' '|'); echo "$strings"
    [[ $strings == *"|FileVersion|$version|"* && $strings == *"|ProductVersion|$version|"* &&
       $strings == *"|ProductName|Tolvane Packer|"* && $strings == *"|LegalCopyright|Copyright (c) 2026 Tolvane Packer developers|"* ]]
}

window_manifest_and_icon() {  # the window program's, exactly as in its resources (the icon file holds one image)
    unzip -p "$zip" "$folder/TolvanePacker.exe" >"$tmp/app.exe" || return
    wrestool -x --raw -t24 "$tmp/app.exe" | cmp - "$top/app/resources/app.manifest" &&
        wrestool -l -t14 "$tmp/app.exe" | grep -q -- '--name=200 ' &&
        wrestool -x --raw -t3 "$tmp/app.exe" | cmp - <(tail -c +23 "$top/app/resources/app_icon.ico")
}
tvpack_manifest_and_icon() {  # runs as invoker, long paths; the window program's icon
    local manifest id
    unzip -p "$zip" "$folder/tvpack.exe" >"$tmp/tvpack.exe" && unzip -p "$zip" "$folder/TolvanePacker.exe" >"$tmp/app.exe" ||
        return
    manifest=$(wrestool -x --raw -t24 -n1 "$tmp/tvpack.exe"); echo "$manifest"
    python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parseString(sys.stdin.read())' <<<"$manifest" || return
    grep -q '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' <<<"$manifest" &&
        grep -q '<longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true</longPathAware>' <<<"$manifest" || return
    cmp <(wrestool -x -t14 "$tmp/tvpack.exe") <(wrestool -x -t14 "$tmp/app.exe") &&
        cmp <(wrestool -x -t3 "$tmp/tvpack.exe") <(wrestool -x -t3 "$tmp/app.exe")
}
link_time() {  # the PE header's link time is the release time, not the build's
    local stamp
    unzip -p "$zip" "$folder/$1" >"$tmp/$1" || return
    stamp=$(python3 -c 'import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3c)[0]
assert data[pe:pe + 4] == b"PE\0\0"
print(struct.unpack_from("<I", data, pe + 8)[0])' "$tmp/$1") || return
    echo "link time $stamp, release time $release"
    [[ $stamp == "$release" ]]
}
source_tarball() {  # the commit's files in one folder, its release time filled in, nothing built
    local names
    names=$(tar -tzf "$dist/$source.tar.gz") || return
    grep -qx "$source/CMakeLists.txt" <<<"$names" && grep -qx "$source/packaging/debian/changelog" <<<"$names" &&
        ! grep -v "^$source/" <<<"$names" && ! grep -E '__pycache__|\.pyc$|^[^/]*/(build|dist)/' <<<"$names" &&
        tar -xzOf "$dist/$source.tar.gz" "$source/packaging/source-date-epoch" | grep -Eqx '[0-9]+'
}
checksums() {
    (cd "$dist" && sha256sum --check --strict SHA256SUMS) && [[ $(wc -l <"$dist/SHA256SUMS") -eq 3 ]]
}
install_uninstall() {  # make install puts the license once and no Debian file; make uninstall takes all back
    local stage=$tmp/stage left
    make -C "$top" --no-print-directory BUILD="$build" install DESTDIR="$stage" PREFIX=/usr >/dev/null || return
    [[ -f $stage/usr/share/doc/tolvane-packer/LICENSE && -f $stage/usr/share/zsh/site-functions/_tvpack ]] &&
        [[ ! -e $stage/usr/share/doc/tolvane-packer/copyright && ! -e $stage/usr/share/mime ]] || return
    make -C "$top" --no-print-directory BUILD="$build" uninstall DESTDIR="$stage" PREFIX=/usr >/dev/null || return
    left=$(find "$stage" ! -type d); echo "$left"
    [[ -z $left && ! -d $stage/usr/share/doc/tolvane-packer ]]
}

check "deb: exactly its files" deb_files
check "deb: lintian --pedantic finds nothing" lintian_clean
check "deb: tvpack --version" version_line
check "deb: manual page reads without warnings" manual_page
check "deb: manual page sections" manual_sections
check "deb: manual page options in bold" manual_bold
check "deb: manual page dated at the release" manual_date
check "deb: file times are the release time" deb_times
check "deb: bash completion" completion
check "deb: fish completion" fish_completion
check "deb: zsh completion" zsh_completion
check "deb: file types" file_types
check "deb: dependencies computed" depends
check "zip: the four files in one folder" zip_names
check "zip: README.txt has Windows line ends" windows_text README.txt
check "zip: LICENSE.txt has Windows line ends" windows_text LICENSE.txt
check "zip: README.txt shows every command and exit code" windows_readme
check "zip: TolvanePacker.exe version resource" version_resource TolvanePacker.exe
check "zip: tvpack.exe version resource" version_resource tvpack.exe
check "zip: TolvanePacker.exe manifest and icon unchanged" window_manifest_and_icon
check "zip: tvpack.exe manifest and icon" tvpack_manifest_and_icon
check "zip: TolvanePacker.exe link time" link_time TolvanePacker.exe
check "zip: tvpack.exe link time" link_time tvpack.exe
check "source tarball" source_tarball
check "SHA256SUMS" checksums
check "make install and make uninstall" install_uninstall
echo "packages: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
