#!/usr/bin/env bash
# Checks the manual pages and the packages: each page renders without a
# warning, the packages build, lintian finds no error or warning in the .deb,
# and each package holds the stripped binaries, the pages, the bash
# completions, the licence and the changelog.
#
#   cmake/check-package.sh      (needs man-db, groff-base, dpkg-deb, gzip, readelf, lintian)
set -euo pipefail
cd "$(dirname "$0")/.."

# The programs the packages hold, as cmake/Packaging.cmake lists them.
programs=(d88unpack d88pack)
fail() { echo "check-package: $*" >&2; exit 1; }

for program in "${programs[@]}"; do
  page=doc/$program.1
  # Any warning from groff or man fails the check.
  warnings="$(groff -man -ww -z "$page" 2>&1)"
  [ -z "$warnings" ] || fail "groff warns about $page:"$'\n'"$warnings"
  warnings="$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || fail "man warns about $page:"$'\n'"$warnings"
  rendered="$(MANWIDTH=80 man -l "$page")"
  grep -q '^EXIT STATUS' <<<"$rendered" || fail "man -l does not render $page"
  whatis_line="$(lexgrog "$page")"
  grep -q "$program - " <<<"$whatis_line" || fail "$page has no NAME line that whatis can read"
  grep -Eq '^\.TH [^ ]+ 1 "[0-9]{4}-[0-9]{2}-[0-9]{2}"' "$page" ||
    fail "the .TH line of $page carries no full date (YYYY-MM-DD)"
  bash -n "completion/$program.bash" || fail "completion/$program.bash is not valid bash"
done

rm -rf build/package
cmake --workflow --preset package

deb=(build/package/d88unpack_*.deb)
tgz=(build/package/d88unpack-*.tar.gz)
[ -f "${deb[0]}" ] || fail "no .deb was made"
[ -f "${tgz[0]}" ] || fail "no .tar.gz was made"
# Captured first: with pipefail, grep -q leaving early could fail the pipe.
info="$(dpkg-deb --info "${deb[0]}")"
grep -q '^ Section: utils$' <<<"$info" || fail "the .deb has no section utils"
grep -q '^ Maintainer: .*<.*@.*>$' <<<"$info" || fail "the .deb names no maintainer"

# lintian: any error or warning fails. So does a binary built without the
# hardening flags or left with its .comment section, which it reports only
# as information; it does not look for the stack protector, checked below.
status=0
report="$(lintian --display-info --fail-on error,warning "${deb[0]}")" || status=$?
[ -z "$report" ] || echo "$report"
[ "$status" -eq 0 ] || fail "lintian finds errors or warnings in ${deb[0]} (exit status $status)"
! grep -E ' (hardening-no-[a-z-]+|binary-has-unneeded-section) ' <<<"$report" >/dev/null ||
  fail "lintian finds a binary of ${deb[0]} not hardened or not stripped clean"

paths=(share/doc/d88unpack/copyright share/doc/d88unpack/changelog)
for program in "${programs[@]}"; do
  paths+=("bin/$program" "share/man/man1/$program.1" "share/bash-completion/completions/$program")
done
contents="$(dpkg-deb --contents "${deb[0]}")"
for path in "${paths[@]}"; do
  grep -Eq " \./usr/${path}(\.gz)?\$" <<<"$contents" || fail "the .deb lacks /usr/$path"
done
contents="$(tar -tzf "${tgz[0]}")"
for path in "${paths[@]}"; do
  grep -Eq "/${path}(\.gz)?\$" <<<"$contents" || fail "the .tar.gz lacks $path"
done

# The packaged binaries run and tell the package's version, and carry the
# stack protector; the installed pages render, and the changelog's latest
# entry is that version.
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "${deb[0]}" "$root"
version="$(dpkg-deb --field "${deb[0]}" Version)"
# d88unpack reads compressed images and archives through libarchive.
depends="$(dpkg-deb --field "${deb[0]}" Depends)"
grep -q 'libarchive' <<<"$depends" || fail "the .deb does not depend on libarchive: $depends"
for program in "${programs[@]}"; do
  told="$("$root/usr/bin/$program" --version)" || fail "the packaged $program --version failed"
  told="${told%%$'\n'*}"
  [ "$told" = "$program $version" ] ||
    fail "the packaged $program --version says '$told', not '$program $version'"
  symbols="$(readelf --dyn-syms --wide "$root/usr/bin/$program")"
  grep -q ' __stack_chk_fail@' <<<"$symbols" ||
    fail "the packaged $program was built without the stack protector"
  installed=("$root/usr/share/man/man1/$program.1"*)
  rendered="$(MANWIDTH=80 man -l "${installed[0]}")"
  grep -q '^EXIT STATUS' <<<"$rendered" || fail "the packaged page of $program does not render"
done
latest="$(zcat "$root/usr/share/doc/d88unpack/changelog.gz")"
latest="${latest%%$'\n'*}"
[[ "$latest" == "d88unpack ($version) "* ]] ||
  fail "the changelog's latest entry is not version $version: $latest"
# Both packages hold stripped binaries (no symbol table, no debug sections,
# no .comment), and the licence and the bash completions as they stand.
tar -xzf "${tgz[0]}" -C "$root"
unpacked=("$root"/d88unpack-*/)
for package in deb:"$root/usr" tar.gz:"${unpacked[0]%/}"; do
  prefix=${package#*:}
  for program in "${programs[@]}"; do
    sections="$(readelf --section-headers "$prefix/bin/$program")"
    ! grep -q -E '\.symtab|\.debug_|\.comment' <<<"$sections" ||
      fail "the .${package%%:*}'s $program is not stripped"
    cmp -s "completion/$program.bash" "$prefix/share/bash-completion/completions/$program" ||
      fail "the .${package%%:*}'s bash completion of $program is not completion/$program.bash"
  done
  cmp -s LICENSE "$prefix/share/doc/d88unpack/copyright" ||
    fail "the .${package%%:*}'s copyright file is not LICENSE"
done
echo "check-package: manual pages and packages are in order: ${deb[0]} ${tgz[0]}"
