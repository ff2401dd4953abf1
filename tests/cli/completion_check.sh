#!/usr/bin/env bash
# The bash completion of tvbox-burn, as bash runs it on a tab: options,
# the words of --sections (after those already typed) and port names.
# With a third file, tvbox-reg's: options, commands, and "osd" after read.
# Usage: completion_check.sh COMPLETION-FILE DIRECTORY-OF-TVBOX-BURN [REG-COMPLETION-FILE]
set -euo pipefail
source "$1"
PATH="$2:$PATH"
complete -p tvbox-burn | grep -q -- '-F _tvbox_burn'
completer=_tvbox_burn
completes() {
  local want=$1; shift
  COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
  $completer
  [ "${COMPREPLY[*]}" = "$want" ] || { echo "'$*' completes to '${COMPREPLY[*]}', not '$want'"; exit 1; }
}
completes "--sections" tvbox-burn --sec
completes "--keep-logs --keep-days" tvbox-burn --keep
completes "--no-verify" tvbox-burn --no
completes "--backup" tvbox-burn --ba
completes "--compare" tvbox-burn --com
completes "--info" tvbox-burn --in
completes "--resume" tvbox-burn --res
completes "pic,flash" tvbox-burn --sections pic,fl
completes "osd,rusfont" tvbox-burn --sections osd,r
completes "com3" tvbox-burn -p com3
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
