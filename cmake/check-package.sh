#!/usr/bin/env bash
# Checks the manual page and the packages: the page renders without a
# warning, the packages build, and each holds the stripped binary, the page,
# the bash completion and the licence.
#
#   cmake/check-package.sh      (needs man-db, groff-base, dpkg-deb, gzip, readelf)
set -euo pipefail
cd "$(dirname "$0")/.."

fail() { echo "check-package: $*" >&2; exit 1; }

# Any warning from groff or man fails the check.
for program in d88unpack d88pack; do
  page=doc/$program.1
  warnings="$(groff -man -ww -z "$page" 2>&1)"
  [ -z "$warnings" ] || fail "groff warns about $page:"$'\n'"$warnings"
  warnings="$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || fail "man warns about $page:"$'\n'"$warnings"
  rendered="$(MANWIDTH=80 man -l "$page")"
  grep -q '^EXIT STATUS' <<<"$rendered" || fail "man -l does not render $page"
  whatis_line="$(lexgrog "$page")"
  grep -q "$program - " <<<"$whatis_line" || fail "$page has no NAME line that whatis can read"
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
contents="$(dpkg-deb --contents "${deb[0]}")"
for path in ./usr/bin/d88unpack ./usr/share/man/man1/d88unpack.1 \
  ./usr/share/doc/d88unpack/copyright ./usr/share/bash-completion/completions/d88unpack \
  ./usr/bin/d88pack ./usr/share/man/man1/d88pack.1 ./usr/share/bash-completion/completions/d88pack; do
  grep -Eq " ${path}(\.gz)?\$" <<<"$contents" || fail "the .deb lacks $path"
done
contents="$(tar -tzf "${tgz[0]}")"
for path in /bin/d88unpack /share/man/man1/d88unpack.1 /share/doc/d88unpack/copyright \
  /share/bash-completion/completions/d88unpack /bin/d88pack /share/man/man1/d88pack.1 \
  /share/bash-completion/completions/d88pack; do
  grep -Eq "${path}(\.gz)?\$" <<<"$contents" || fail "the .tar.gz lacks $path"
done

# The packaged binary runs, and the installed page renders.
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "${deb[0]}" "$root"
status=0
"$root/usr/bin/d88unpack" >/dev/null 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "the packaged binary without arguments exited $status, not 1"
"$root/usr/bin/d88pack" --version >/dev/null || fail "the packaged d88pack does not run"
# Both packages hold a stripped binary (no symbol table, no debug sections),
# and the licence and the bash completion as they stand.
tar -xzf "${tgz[0]}" -C "$root"
unpacked=("$root"/d88unpack-*/)
for package in deb:"$root/usr" tar.gz:"${unpacked[0]%/}"; do
  prefix=${package#*:}
  for program in d88unpack d88pack; do
    sections="$(readelf --section-headers "$prefix/bin/$program")"
    ! grep -q -E '\.symtab|\.debug_' <<<"$sections" ||
      fail "the .${package%%:*}'s $program is not stripped"
    cmp -s "completion/$program.bash" "$prefix/share/bash-completion/completions/$program" ||
      fail "the .${package%%:*}'s bash completion of $program is not completion/$program.bash"
  done
  cmp -s LICENSE "$prefix/share/doc/d88unpack/copyright" ||
    fail "the .${package%%:*}'s copyright file is not LICENSE"
done
for program in d88unpack d88pack; do
  installed=("$root"/usr/share/man/man1/$program.1*)
  rendered="$(MANWIDTH=80 man -l "${installed[0]}")"
  grep -q '^EXIT STATUS' <<<"$rendered" || fail "the packaged page of $program does not render"
done
echo "check-package: manual page and packages are in order: ${deb[0]} ${tgz[0]}"
