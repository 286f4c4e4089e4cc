#!/usr/bin/env bash
# Checks with the real tools what the wizard packs: the peer-output case (run here under Wine
# with QVL_PEER_OUT set) packs a folder and a file into ZIP and 7z in the work folder, then
# unzip and 7z must test both and give back the same files.
# Usage: wizard_peer_check.sh <app_tests.exe> <fixtures folder> <work folder>
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../peer_check_common.sh"
peer_check_start QVL_PEER_OUT 'Wizard.PeerOutput*' wizard.log "the wizard's peer-output case" "$@"

expected=$(printf 'levels/maps/empty.dat\t\nlevels/maps/one.dat\tlevel one\nlevels/readme.txt\tread me\nnotes.txt\tnotes\n' | sort)
peer_check_zip_and_7z "$work/wizard.zip" "$work/wizard.7z" "$expected"

peer_check_end "the archives written by the wizard pass unzip and 7z"
