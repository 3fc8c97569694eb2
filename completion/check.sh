#!/usr/bin/env bash
# Checks the bash completion of both programs: each case completes a
# command line as bash would and compares the candidates. The tool is a
# stand-in that prints a fixed listing, names a hostile image could hold
# among them, and records the arguments it was given.
#
#   completion/check.sh      (needs bash-completion)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
framework=/usr/share/bash-completion/bash_completion
[ -f "$framework" ] || { echo "completion/check.sh: needs bash-completion" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir folder
touch games.d88 notes.txt sides.zip
cat >tool <<'STUB'
#!/usr/bin/env bash
printf '%s\n' "$@" >args
printf '[Disk B]\n'
printf '%-12s  %5d  START=%04x  END=%04x\n' README 33 0 33 'A[1]' 1 0 1 '$(>Z)' 1 0 1 \
  'B*' -16 32 16 README 2 0 2
STUB
chmod +x tool

# shellcheck source=/dev/null
source "$framework"
# shellcheck source=completion/d88unpack.bash
source "$here/d88unpack.bash"
# shellcheck source=completion/d88pack.bash
source "$here/d88pack.bash"
# Outside a real completion compopt has nothing to set.
compopt() { :; }

failed=0
# check LINE EXPECTED [ARGS]: completes LINE (the cursor at its end) and
# compares the candidates, one a line, sorted; with ARGS, also what the tool
# was given.
check() {
  local line=$1 expected=$2 args=${3-}
  rm -f args
  COMP_LINE=$line
  COMP_POINT=${#line}
  read -r -a COMP_WORDS <<<"$line"
  [[ $line == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  # _d88unpack or _d88pack, by the line's first word.
  "_${COMP_WORDS[0]}" ./tool "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" || true
  local got
  got="$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort)"
  if [ "$got" != "$expected" ]; then
    printf 'completion/check.sh: "%s" gives\n%s\ninstead of\n%s\n' "$line" "$got" "$expected" >&2
    failed=1
  fi
  local given=""
  [ -f args ] && given="$(paste -sd ' ' args)"
  if [ -n "$args" ] && [ "$given" != "$args" ]; then
    printf 'completion/check.sh: "%s" runs the tool with "%s", not "%s"\n' \
      "$line" "$given" "$args" >&2
    failed=1
  fi
}

check "d88unpack --di" $'--directory=\n--disk-folders\n--disk='
check "d88unpack --h" "--help"
check "d88unpack games.d88 --h" ""
check "d88unpack -C " "folder"
check "d88unpack -lC " "folder"
check "d88unpack -d 6" "6"$'\n'"60"$'\n'"61"$'\n'"62"$'\n'"63"$'\n'"64"
check "d88unpack -l " $'folder\ngames.d88\nsides.zip'
check "d88unpack -lC folder " $'folder\ngames.d88\nsides.zip'
# The names, once each; pattern characters escaped, nothing expanded.
check "d88unpack games.d88 " $'A\\\\\\[1\\]\nB\\\\\\*\nREADME\n\\$\\(\\>Z\\)' \
  "--list -- games.d88"
check "d88unpack games.d88 R" "README"
check "d88unpack games.d88 'A" 'A\[1]'
check "d88unpack -ud2 games.d88 R" "README" "--list --utf8 --disk=2 -- games.d88"
check "d88unpack games.d88 --disk 3 -u R" "README" "--list --disk=3 --utf8 -- games.d88"
check "d88unpack -- -l R" "README" "--list -- -l"
check "d88unpack -C folder \"games\".d88 R" "README" "--list -- games.d88"
check "d88pack --del" "--delete"
check "d88pack --ren" "--rename"
check "d88pack --all" "--all-disks"
check "d88pack --rename A " ""
check "d88pack --rename A B " $'folder\ngames.d88'
check "d88pack --info games.d88 " ""
check "d88pack -d 2 --unprotect " $'folder\ngames.d88'
check "d88pack -cd 6" "6"$'\n'"60"$'\n'"61"$'\n'"62"$'\n'"63"$'\n'"64"
check "d88pack --number 25" "25"$'\n'"250"$'\n'"251"$'\n'"252"$'\n'"253"$'\n'"254"$'\n'"255"
check "d88pack -v " $'folder\ngames.d88'
check "d88pack games.d88 n" "notes.txt"
check "d88pack --delete games.d88 R" "README" "--dry-run --verbose -- games.d88"
check "d88pack -ud2 --delete games.d88 '\$" '$(>Z)' \
  "--dry-run --verbose --utf8 --disk=2 -- games.d88"
[ ! -e Z ] || { echo "completion/check.sh: a name was run as a command" >&2; failed=1; }

[ "$failed" -eq 0 ] && echo "completion/check.sh: every case completes as expected"
exit "$failed"
