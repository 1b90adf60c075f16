# SPDX-License-Identifier: MIT
# bash completion for tavrest and tavrest-view. The options are read from the
# program's own --help, so every option it has completes; an option's
# argument completes by the word the help gives it: font files for a font,
# file names for another FILE.

_tavrest_fonts() {
  _filedir '@(bdf|pcf|ttf|otf|ttc|otc|gz)'
}

# The argument word of an option and the first line of its description, as
# --help shows them: "  -f, --font FILE      main font" gives "FILE main font";
# nothing for an option without an argument.
_tavrest_argument() {
  "$1" --help 2>/dev/null | awk -v wanted="$2" '
    /^ +-/ {
      found = 0
      for (i = 1; i <= NF && $i ~ /^-/; i++) {
        name = $i
        sub(/,$/, "", name)
        if (name == wanted) found = 1
      }
      if (found && $i ~ /^[A-Z]+$/) {
        line = $i
        for (i++; i <= NF; i++) line = line " " $i
        print line
      }
      if (found) exit
    }'
}

_tavrest() {
  local cur prev words cword split
  _init_completion -s || return

  if [[ $prev == -* ]]; then
    local argument
    argument=$(_tavrest_argument "$1" "$prev")
    case $prev in
      -f | --font | -F | --second) _tavrest_fonts; return ;;
      --background) mapfile -t COMPREPLY < <(compgen -W 'white transparent' -- "$cur"); return ;;
    esac
    case $argument in
      FONT*) _tavrest_fonts; return ;;
      FILE*) _filedir; return ;;
      ?*) return ;;  # a number, a text or a code: nothing to offer
    esac
  fi

  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W '$(_parse_help "$1")' -- "$cur")
    return
  fi
  # Operands: the fonts to convert, or the viewer's .qpk file or font.
  if [[ ${1##*/} == tavrest-view ]]; then
    _filedir '@(qpk|bdf|pcf|ttf|otf|ttc|otc|gz)'
  else
    _tavrest_fonts
  fi
}
complete -F _tavrest tavrest tavrest-view
