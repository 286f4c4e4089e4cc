#!/usr/bin/env bash
# Checks with the real tools what the format conversion writes: the peer-output case (run
# here under Wine with QVL_PEER_OUT set) converts a REZ archive to ZIP and to 7z in the work
# folder, then unzip and 7z must test both and give back the REZ archive's files.
# Usage: convert_peer_check.sh <app_tests.exe> <fixtures folder> <work folder>
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../peer_check_common.sh"
peer_check_start QVL_PEER_OUT 'ConvertPeerOutput.*' convert.log "the peer-output case" "$@"

expected=$(printf 'maps/empty.dat\t\nmaps/level1.dat\tlevel one\nreadme.txt\tread me\n' | sort)
peer_check_zip_and_7z "$work/levels.zip" "$work/levels.7z" "$expected"

peer_check_end "the archives written by the format conversion pass unzip and 7z"
