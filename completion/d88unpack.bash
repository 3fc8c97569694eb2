# bash completion for d88unpack                                -*- shell-script -*-
#
# Options; after -C/--directory a folder; after -d/--disk a disk's place;
# the image first among the arguments (D88 images, and the compressed files
# and archives that hold them, by their usual endings),
# then names of files on the image's disks, as the image lists them.
#
# The names come from a file that may be hostile: they are matched and
# quoted here as plain strings, never handed to compgen -W, which would
# expand a name such as "$(>X)" as a command.

# The option of the short option cluster $1 (such as -lC) that takes the
# next word as its argument, C or d; nothing when the word holds it.
_d88unpack_wants() {
  local i
  for ((i = 1; i < ${#1}; i++)); do
    case ${1:i:1} in
      C | d) ((i == ${#1} - 1)) && printf '%s' "${1:i:1}"; return ;;
    esac
  done
}

# Prints the word $1 as the command will get it: quotes and backslashes
# removed, a leading ~/ expanded. A word that expands anything else ($ or `
# outside single quotes) is printed as it stands: nothing is evaluated.
_d88unpack_dequote() {
  local word=$1 text="" c quote="" i
  for ((i = 0; i < ${#word}; i++)); do
    c=${word:i:1}
    if [[ $quote == "'" ]]; then
      [[ $c == "'" ]] && quote="" || text+=$c
    elif [[ $c == \\ ]]; then
      ((i++))
      c=${word:i:1}
      # Inside double quotes a backslash escapes only these.
      [[ $quote == '"' && $c != [\\\"\$\`] ]] && text+=\\
      text+=$c
    elif [[ $c == [\$\`] ]]; then
      printf '%s' "$word"
      return
    elif [[ $c == [\"\'] && ( -z $quote || $c == "$quote" ) ]]; then
      [[ -z $quote ]] && quote=$c || quote=""
    else
      text+=$c
    fi
  done
  [[ $word == "~/"* ]] && text=$HOME/${text#"~/"}
  printf '%s' "$text"
}

# Sets COMPREPLY to the names of the listing on standard input that start
# with the word $1, once each, quoted for the command line. Each listing line
# ends in the size, start and end address; the name, which holds no space,
# is what stands before them. A name is a pattern to the tools: its pattern
# characters are escaped to match only itself. d88pack's completion uses it
# too.
_d88unpack_names() {
  local cur=$1 typed name pattern
  local -A seen=()
  typed=$(_d88unpack_dequote "$cur")
  COMPREPLY=()
  while IFS= read -r name; do
    pattern=${name//\\/\\\\}
    pattern=${pattern//\*/\\*}
    pattern=${pattern//\?/\\?}
    pattern=${pattern//\[/\\[}
    [[ -n $pattern && $pattern == "$typed"* && -z ${seen[$pattern]-} ]] || continue
    seen[$pattern]=1
    # Inside an open quote readline inserts the text as it stands.
    case $cur in
      \'*) [[ $pattern != *\'* ]] && COMPREPLY+=("$pattern") ;;
      \"*)
        pattern=${pattern//\\/\\\\}
        pattern=${pattern//\"/\\\"}
        pattern=${pattern//\$/\\\$}
        COMPREPLY+=("${pattern//\`/\\\`}")
        ;;
      *)
        printf -v pattern '%q' "$pattern"
        COMPREPLY+=("$pattern")
        ;;
    esac
  done < <(LC_ALL=C sed -n \
    's/^\([^ ]*\)  *-\{0,1\}[0-9]\{1,\}  START=[0-9a-f]\{4\}  END=[0-9a-f]\{4\}$/\1/p')
}

_d88unpack() {
  local cur prev words cword split
  _init_completion -s || return

  local wants=""
  case $prev in
    -C | --dir*) wants=C ;;
    --disk) wants=d ;;
    -h | --help | -V | --version) return ;;
    -[!-]*) wants=$(_d88unpack_wants "$prev") ;;
  esac
  case $wants in
    C) _filedir -d; return ;;
    d) COMPREPLY=($(compgen -W "$(seq 1 64)" -- "$cur")); return ;;
  esac

  $split && return

  # The image is the first argument that is not an option or an option's
  # argument; the names of its files follow. Options may stand anywhere
  # before "--": those that change the names listed (--utf8) and the disks
  # read (--disk) are passed on.
  local i j word option image="" ended=false skip=""
  local -a given=()
  for ((i = 1; i < cword; i++)); do
    word=${words[i]}
    if [[ -n $skip ]]; then
      [[ $skip == d ]] && given+=(--disk="$word")
      skip=""
      continue
    fi
    if ! $ended; then
      case $word in
        --) ended=true; continue ;;
        -C | --dir*) skip=C; continue ;;
        --disk) skip=d; continue ;;
        --disk=*) given+=("$word"); continue ;;
        --u | --ut | --utf | --utf8) given+=(--utf8); continue ;;
        -?*)
          [[ $word == --* ]] && continue
          # A cluster of short options: -C and -d take the rest of the
          # word, or the next word.
          for ((j = 1; j < ${#word}; j++)); do
            option=${word:j:1}
            case $option in
              u) given+=(--utf8) ;;
              C | d)
                if ((j == ${#word} - 1)); then
                  skip=$option
                elif [[ $option == d ]]; then
                  given+=(--disk="${word:j+1}")
                fi
                break
                ;;
            esac
          done
          continue
          ;;
      esac
    fi
    [[ -z $image ]] && image=$(_d88unpack_dequote "$word")
  done

  if [[ $cur == -* ]] && ! $ended; then
    local options='-l -t -C -d -k -O -D -u -i --list --directory= --disk= --keep-old-files
      --skip-old-files --to-stdout --disk-folders --utf8 --ignore-case --salvage --json
      --system-area'
    [[ -z $image ]] && options+=' -h -V --help --version'
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
    return
  fi
  if [[ -z $image ]]; then
    # Images compressed or in archives too, which d88unpack reads.
    _filedir '@(d88|D88|d77|D77|d68|D68|zip|ZIP|gz|tgz|bz2|xz|zst|7z|lzh|LZH|lha|tar)'
    return
  fi

  _d88unpack_names "$cur" < <("$1" --list "${given[@]}" -- "$image" 2>/dev/null)
} &&
  complete -F _d88unpack d88unpack

# ex: filetype=sh
