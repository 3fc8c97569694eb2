# bash completion for d88unpack                                -*- shell-script -*-
#
# Options; after -C/--directory a folder; after -d/--disk a disk's place;
# the image first among the arguments (D88 images by their usual endings),
# then names of files on the image's disks, as the image lists them.

_d88unpack() {
  local cur prev words cword
  _init_completion -s || return

  case $prev in
    -C | --directory)
      _filedir -d
      return
      ;;
    -d | --disk)
      COMPREPLY=($(compgen -W "$(seq 1 64)" -- "$cur"))
      return
      ;;
    -h | --help | -V | --version)
      return
      ;;
  esac

  $split && return

  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W '-l -t -C -d -k -O -D -u -h -V --list --directory=
      --disk= --keep-old-files --to-stdout --disk-folders --utf8 --json --help
      --version' -- "$cur"))
    [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
    return
  fi

  # The image is the first argument that is not an option or an option's
  # argument; the names of its files follow.
  local i image="" skip=false
  for ((i = 1; i < cword; i++)); do
    if $skip; then
      skip=false
      continue
    fi
    case ${words[i]} in
      -C | --directory | -d | --disk) skip=true ;;
      --) ;;
      -*) ;;
      *)
        image=${words[i]}
        break
        ;;
    esac
  done

  if [[ -z $image ]]; then
    _filedir '@(d88|D88|d77|D77|d68|D68)'
    return
  fi
  local names
  names=$(d88unpack --list -- "$image" 2>/dev/null |
    sed -n 's/^\(.\{12\}\)  .*START=.*/\1/p' | sed 's/ *$//')
  COMPREPLY=($(compgen -W "$names" -- "$cur"))
} &&
  complete -F _d88unpack d88unpack

# ex: filetype=sh
