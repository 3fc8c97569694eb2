# bash completion for d88pack                                  -*- shell-script -*-
#
# Options; after -d/--disk a disk's place, after --number a disk number,
# after --from a manifest (JSON Lines) and after --system-area a file; the
# image first among the arguments (D88 images by their usual endings), then
# the files to put, or with --delete the names of the disk's files as
# d88pack itself lists them (--dry-run --verbose, which writes nothing).
# With --rename the image comes last, after OLD and NEW; --info, --check,
# --protect and --unprotect take the image alone.
# Quoting and the names' escaping are d88unpack's completion's, loaded with
# it.

_d88pack() {
  local cur prev words cword split
  _init_completion -s || return
  declare -F _d88unpack_names >/dev/null || _completion_loader d88unpack 2>/dev/null
  declare -F _d88unpack_names >/dev/null || return

  case $prev in
    -d | --disk | -[!-]*d)
      [[ $prev == --* || $prev == -*d ]] && COMPREPLY=($(compgen -W "$(seq 1 64)" -- "$cur"))
      return
      ;;
    --number) COMPREPLY=($(compgen -W "$(seq 0 255)" -- "$cur")); return ;;
    --label | --start | -h | --help | -V | --version) return ;;
    --from) _filedir '@(jsonl|json)'; return ;;
    --system-area) _filedir; return ;;
  esac
  $split && return

  # The image is the first argument that is not an option or an option's
  # argument. --utf8 and --disk change what is listed and are passed on.
  local i word image="" ended=false skip=false remove=false rename=false alone=false
  local -a given=() operands=()
  for ((i = 1; i < cword; i++)); do
    word=${words[i]}
    if $skip; then
      given+=(--disk="$word")
      skip=false
      continue
    fi
    if ! $ended; then
      case $word in
        --) ended=true; continue ;;
        --disk) skip=true; continue ;;
        --disk=*) given+=("$word"); continue ;;
        --del | --dele | --delet | --delete) remove=true; continue ;;
        --r*) rename=true; continue ;;
        --in | --inf* | --ch* | --p* | --un*) alone=true; continue ;;
        --u | --ut | --utf | --utf8) given+=(--utf8); continue ;;
        --number | --label | --start | --from | --system-area) ((i++)); continue ;;
        --*) continue ;;
        -?*)
          [[ $word == *u* ]] && given+=(--utf8)
          # -d takes the rest of the word, or the next word.
          if [[ $word == -*d ]]; then
            skip=true
          elif [[ $word == -*d* ]]; then
            given+=(--disk="${word#*d}")
          fi
          continue
          ;;
      esac
    fi
    operands+=("$word")
    [[ -z $image ]] && image=$(_d88unpack_dequote "$word")
  done

  if [[ $cur == -* ]] && ! $ended; then
    local options='-c -d -u -v -n -i --create --delete --disk= --number= --label= --start= --force
      --utf8 --verbose --dry-run --ignore-case --json --rename --info --check --protect
      --unprotect --all-disks --from= --system-area='
    [[ -z $image ]] && options+=' -h -V --help --version'
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
    return
  fi
  if $rename; then
    # OLD and NEW are entry names, for which the image is not known yet.
    ((${#operands[@]} == 2)) && _filedir '@(d88|D88|d77|D77|d68|D68)'
  elif [[ -z $image ]]; then
    _filedir '@(d88|D88|d77|D77|d68|D68)'
  elif $alone; then
    return
  elif $remove; then
    _d88unpack_names "$cur" < <("$1" --dry-run --verbose "${given[@]}" -- "$image" 2>/dev/null)
  else
    _filedir
  fi
} &&
  complete -F _d88pack d88pack

# ex: filetype=sh
