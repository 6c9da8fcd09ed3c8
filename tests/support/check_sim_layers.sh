#!/usr/bin/env bash
# nkhost's folders form one stack; an include may only reach its own folder or one below:
# base, then loader and services (side by side, never each other), then machine, debug, cli.
set -euo pipefail
sim=$1/sim
declare -A rank=([base]=0 [loader]=1 [services]=1 [machine]=2 [debug]=3 [cli]=4)
status=0
while IFS=: read -r file line text; do
  from=${file#"$sim"/}; from=${from%%/*}
  to=$(sed -E 's#.*"sim/([a-z_]+)/.*#\1#' <<<"$text")
  [[ $from == "$to" ]] && continue
  if [[ -z ${rank[$to]:-} || -z ${rank[$from]:-} ]] || ((rank[$to] >= rank[$from])); then
    echo "${file#"$1"/}:$line: $from/ includes $to/, which is not below it: $text"
    status=1
  fi
done < <(grep -rn --include='*.h' --include='*.cpp' '#include "sim/' "$sim")
exit $status
