#!/usr/bin/env bash
# The manual page and the shell completions know every command and option the program's help lists.
# Usage: options_test.sh BLOCKWAVES SOURCE-DIR
set -euo pipefail
program=$1
source_dir=$2
man=$source_dir/docs/blockwaves.1
completions=("$source_dir/packaging/blockwaves.bash" "$source_dir/packaging/_blockwaves")
missing=()

# Names under a help text's "Subcommands:" heading.
subcommands() { awk '/^Subcommands:/ {listing = 1; next} listing && /^  [a-z]/ {print $1} /^$/ {listing = 0}' <<< "$1"; }
knows() {  # what, word as the completions have it, word as the manual page has it
  local file
  for file in "${completions[@]}"; do
    grep -qF -- "$2" "$file" || missing+=("$(basename "$file"): $1")
  done
  grep -qF -- "$3" "$man" || missing+=("blockwaves.1: $1")
}

help=$("$program" --help)
commands=$(subcommands "$help")
[ -n "$commands" ] || { echo "options_test: no commands in blockwaves --help" >&2; exit 1; }
for command in $commands; do
  knows "$command" "$command" "$command"
  for sub in $(subcommands "$("$program" "$command" --help)"); do
    knows "$command $sub" "$sub" "$command $sub"
    for option in $("$program" "$command" "$sub" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
      knows "$command $sub $option" "$option" "${option//-/\\-}"
    done
  done
  for option in $("$program" "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    knows "$command $option" "$option" "${option//-/\\-}"
  done
done
# The settings keys' ranges, as the program's settings table gives them in 'prefs set --help'.
while read -r key range; do
  [[ $range == *..* ]] || continue
  grep -F -- "'$key=:" "${completions[1]}" | grep -qF -- "$range" || missing+=("_blockwaves: $key=$range")
  grep -qF -- "$range" "$man" || missing+=("blockwaves.1: $key $range")
done < <("$program" prefs set --help | sed -n 's/^  \([a-z]*\)=\([^ ]*\) .*/\1 \2/p')
if [ ${#missing[@]} -gt 0 ]; then
  printf 'options_test: missing %s\n' "${missing[@]}" >&2
  exit 1
fi
echo "options_test: the manual page and the completions know every command and option"
