#!/usr/bin/env bash
# fill_play.sh <morvane-fill> <folder> <play>: the fleet play, run by ansible-playbook against two
# local hosts: the one whose path is a loop volume ends ok and changed, the one whose path is a tmpfs
# fails unchanged, and the one without the program fails saying so.
set -uo pipefail
program=$1 folder=$2 play=$3 fs=$(dirname "$(realpath "$0")")/../fs/fs_image.sh
bash "$fs" check "$folder" 512 || exit $?
command -v ansible-playbook >/dev/null || { echo "SKIP: no ansible-playbook (Debian's ansible-core)"; exit 77; }
trap 'bash "$fs" sweep "$folder"' EXIT
bash "$fs" make "$folder/v.img" 320 ext4 && bash "$fs" mount "$folder/v.img" "$folder/volume" && bash "$fs" tmpfs "$folder/memory" 16 || exit 1
printf '%s\n' "volume morvane_fill_paths='[\"$folder/volume\"]'" "memory morvane_fill_paths='[\"$folder/memory\"]'" \
  "missing morvane_fill_paths='[\"$folder/volume\"]' morvane_fill_command=$folder/no-such-program" \
  "[all:vars]" "ansible_connection=local" "ansible_python_interpreter=/usr/bin/python3" "morvane_fill_command=$program" >"$folder/hosts"
ANSIBLE_NOCOLOR=1 ansible-playbook -i "$folder/hosts" "$play" >"$folder/log" 2>&1; status=$?
cat "$folder/log"
grep -Eq '^volume +: ok=2 +changed=1 .* failed=0 ' "$folder/log" && grep -Eq '^memory +: ok=2 +changed=0 .* failed=1 ' "$folder/log" &&
  grep -Eq '"msg": "1 file systems filled, [1-9][0-9]+ bytes written in [0-9.]+ s, 0 bytes discarded, 0 skipped' "$folder/log" &&
  grep -q 'ended with status 2: morvane-fill: .*/memory: on tmpfs' "$folder/log" &&
  grep -q 'ended with status 2: .*No such file or directory.*no-such-program' "$folder/log" && [ $status = 2 ] && echo PASS
