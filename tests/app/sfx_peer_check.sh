#!/usr/bin/env bash
# A self-extractor written by the builder (the peer-output case, run here under Wine with
# QVL_SFX_OUT set) is read back by sfx_reader.py, which knows only the container's layout.
# Usage: sfx_peer_check.sh <app_tests.exe> <fixtures folder> <work folder>
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../peer_check_common.sh"
peer_check_start QVL_SFX_OUT 'SfxPeerOutput.*' sfx.log "the self-extractor output case" "$@"

python3 "$here/sfx_reader.py" "$work/setup.exe" "$work/runner.exe" "$work/data.rez" || fail "setup.exe"

peer_check_end "the self-extractor the builder writes"
