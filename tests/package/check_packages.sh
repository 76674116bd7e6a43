#!/usr/bin/env bash
# Checks the release packages that `make dist` wrote to DIST (default dist/):
# the .deb holds a tvpack that runs, a manual page groff reads without a
# warning, a working completion and the dependencies dpkg-shlibdeps computed;
# the Windows zip holds exactly its four files, the texts with Windows line
# ends, and both programs carry the version resource.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
dist=${1:-$top/dist}
version=$(sed -n 's/^project(TolvanePacker VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
deb=$dist/tolvane-packer_${version}_$(dpkg --print-architecture).deb
zip=$dist/TolvanePacker-$version-win64.zip
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
root=$tmp/root
passed=0 failed=0

check() {  # NAME COMMAND...: passes when the command succeeds; shows its output when not
    local name=$1; shift
    if ("$@") >"$tmp/log" 2>&1; then echo "PASS $name"; passed=$((passed + 1))
    else echo "FAIL $name"; sed 's/^/    /' "$tmp/log"; failed=$((failed + 1)); fi
}
installed_files() {
    dpkg-deb -x "$deb" "$root" || return
    for f in bin/tvpack share/man/man1/tvpack.1.gz share/doc/tolvane-packer/{README.md,LICENSE,copyright} \
             share/bash-completion/completions/tvpack; do
        [[ -f $root/usr/$f ]] || { echo "missing /usr/$f"; return 1; }
    done
}
version_line() { local out; out=$("$root/usr/bin/tvpack" --version); echo "$out"; [[ $out == "tvpack (Tolvane Packer) $version" ]]; }
manual_page() {
    local page=$root/usr/share/man/man1/tvpack.1.gz warnings
    warnings=$(zcat "$page" | groff -man -z -ww -t 2>&1); echo "$warnings"
    [[ -z $warnings ]] && lexgrog "$page" | grep -q '"tvpack - pack game mods' &&
        MANWIDTH=80 man -l "$page" | tee "$tmp/page" | grep -q 'verify \[--strict\] ARCHIVE.tvp' && grep -q '^EXAMPLES' "$tmp/page"
}
completion() {
    mkdir "$tmp/mod" && cd "$tmp/mod" && touch a.tvx b.tvp c.txt && mkdir d || return
    source "$root/usr/share/bash-completion/completions/tvpack" || return
    local cases=("tvpack v|verify" "tvpack pack |d a.tvx" "tvpack list |d b.tvp" "tvpack list --|--help --version --json")
    for c in "${cases[@]}"; do
        read -ra COMP_WORDS <<<"${c%|*}"; [[ $c == *" |"* ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _tvpack
        [[ "${COMPREPLY[*]}" == "${c#*|}" ]] || { echo "'${c%|*}' completes to '${COMPREPLY[*]}'"; return 1; }
    done
}
depends() { dpkg-deb --info "$deb" | grep '^ Depends:' | tee /dev/stderr | grep -Eq 'libc6 \(>= [0-9.]+\).*libstdc\+\+6 \(>= '; }
zip_names() { local names; names=$(unzip -Z1 "$zip" | LC_ALL=C sort | tr '\n' ' '); echo "$names"
    [[ $names == "LICENSE.txt README.txt TolvanePacker.exe tvpack.exe " ]]; }
windows_text() {  # every line of the file ends in CR LF, and only one CR
    unzip -p "$zip" "$1" >"$tmp/$1" && [[ -s $tmp/$1 ]] && ! grep -qv $'\r$' "$tmp/$1" && ! grep -q $'\r\r$' "$tmp/$1"
}
version_resource() {  # the fixed numbers (signature, layout, file and product version) and the strings
    local a b c d strings
    IFS=. read -r a b c d <<<"$version"
    local ms=$(((a << 16) | ${b:-0})) ls=$(((${c:-0} << 16) | ${d:-0}))
    unzip -p "$zip" "$1" >"$tmp/$1" && wrestool -x --raw -t16 "$tmp/$1" >"$tmp/$1.res" || return
    od -An -tu4 -w24 -j40 -N24 "$tmp/$1.res" | tee /dev/stderr | grep -q "^ *4277077181 *65536 *$ms *$ls *$ms *$ls$" || return
    strings=$(strings -el -n3 "$tmp/$1.res" | tr '\n' '|'); echo "$strings"
    [[ $strings == *"|FileVersion|$version|"* && $strings == *"|ProductVersion|$version|"* &&
       $strings == *"|ProductName|Tolvane Packer|"* && $strings == *"|LegalCopyright|Copyright (c) 2026 Tolvane Packer developers|"* ]]
}

check "deb: installs tvpack, manual page, completion, README, LICENSE and copyright" installed_files
check "deb: tvpack --version" version_line
check "deb: manual page reads without warnings" manual_page
check "deb: bash completion" completion
check "deb: dependencies computed" depends
check "zip: exactly the four files" zip_names
check "zip: README.txt has Windows line ends" windows_text README.txt
check "zip: LICENSE.txt has Windows line ends" windows_text LICENSE.txt
check "zip: TolvanePacker.exe version resource" version_resource TolvanePacker.exe
check "zip: tvpack.exe version resource" version_resource tvpack.exe
echo "packages: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
