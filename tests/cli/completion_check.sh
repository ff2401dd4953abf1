#!/usr/bin/env bash
# The bash completion of tvbox-burn, as bash runs it on a tab: options,
# the words of --sections (after those already typed) and port names.
# Usage: completion_check.sh COMPLETION-FILE DIRECTORY-OF-TVBOX-BURN
set -euo pipefail
source "$1"
PATH="$2:$PATH"
complete -p tvbox-burn | grep -q -- '-F _tvbox_burn'
completes() {
  local want=$1; shift
  COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
  _tvbox_burn
  [ "${COMPREPLY[*]}" = "$want" ] || { echo "'$*' completes to '${COMPREPLY[*]}', not '$want'"; exit 1; }
}
completes "--sections" tvbox-burn --sec
completes "--keep-logs --keep-days" tvbox-burn --keep
completes "--no-verify" tvbox-burn --no
completes "--backup" tvbox-burn --ba
completes "--compare" tvbox-burn --com
completes "--info" tvbox-burn --in
completes "--resume" tvbox-burn --res
completes "--wait" tvbox-burn --wa
completes "--label" tvbox-burn --lab
completes "--range" tvbox-burn --ran
completes "osd:" tvbox-burn --backup x.bin --range o
completes "pic,flash" tvbox-burn --sections pic,fl
completes "osd,rusfont" tvbox-burn --sections osd,r
completes "com3" tvbox-burn -p com3
echo "completion ok"
