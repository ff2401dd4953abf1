#!/usr/bin/env bash
# The bash completion of tvbox-burn, as bash runs it on a tab. Every option
# tvbox-burn has (its own --option-table lists them, with what completes
# each one's value) completes, and its value completes as the table says:
# a file, a folder, a port, the words of --sections, or nothing.
# With a third file, tvbox-reg's: options, commands, and "osd" after read.
# Usage: completion_check.sh COMPLETION-FILE DIRECTORY-OF-TVBOX-BURN [REG-COMPLETION-FILE]
set -euo pipefail
source "$1"
PATH="$2:$PATH"
complete -p tvbox-burn | grep -q -- '-F _tvbox_burn'
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
mkdir logs
touch chip.hv
completer=_tvbox_burn
reply() {
  COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
  $completer
  echo "${COMPREPLY[*]}"
}
completes() {
  local want=$1; shift
  local got
  got=$(reply "$@")
  [ "$got" = "$want" ] || { echo "'$*' completes to '$got', not '$want'"; exit 1; }
}
offers() {
  local want=$1; shift
  local got
  got=$(reply "$@")
  [[ " $got " == *" $want "* ]] || { echo "'$*' completes to '$got', without '$want'"; exit 1; }
}

table=$(tvbox-burn --option-table)
[ "$(wc -l <<<"$table")" -gt 15 ] || { echo "--option-table lists too little: $table"; exit 1; }
tab=$'\t'
while IFS= read -r line; do
  # Tab-separated, empty fields kept: read's IFS would merge the tabs.
  long=${line%%"$tab"*} rest=${line#*"$tab"}
  short=${rest%%"$tab"*} rest=${rest#*"$tab"}
  value=${rest%%"$tab"*} kind=${rest#*"$tab"}
  offers "$long" tvbox-burn "$long"
  [ -z "$short" ] || offers "$short" tvbox-burn "$short"
  if [ -z "$value" ]; then
    completes "chip.hv" tvbox-burn "$long" ch  # the chipset file after a switch
    continue
  fi
  case $kind in
    file) completes "chip.hv" tvbox-burn "$long" ch; completes "" tvbox-burn "$long" - ;;
    folder) completes "logs" tvbox-burn "$long" "" ;;
    port) completes "com3" tvbox-burn "$long" com3 ;;
    sections) completes "pic,flash" tvbox-burn "$long" pic,fl ;;
    memory) completes "osd:" tvbox-burn "$long" o ;;
    none) completes "" tvbox-burn "$long" "" ;;
    *) echo "$long: no completion '$kind' known"; exit 1 ;;
  esac
  # --option=value: bash splits the word at "=", before and after the tab.
  [ "$kind" = none ] || [ "$(reply tvbox-burn "$long" =)" = "$(reply tvbox-burn "$long" "")" ] ||
    { echo "$long= does not complete as $long alone"; exit 1; }
done <<<"$table"

completes "--keep-logs --keep-days" tvbox-burn --keep
completes "--no-verify" tvbox-burn --no
completes "osd,rusfont" tvbox-burn --sections osd,r
completes "com3" tvbox-burn -p com3
completes "logs" tvbox-burn --log = lo
if [ $# -ge 3 ]; then
  source "$3"
  complete -p tvbox-reg | grep -q -- '-F _tvbox_reg'
  completer=_tvbox_reg
  completes "writestr" tvbox-reg writes
  completes "--keep-going" tvbox-reg --keep
  completes "osd" tvbox-reg -p com3 read o
  completes "com3" tvbox-reg --port com3
  completes "" tvbox-reg read fe 0
  completes "watch" tvbox-reg --json --script x.txt wa
fi
echo "completion ok"
