#!/usr/bin/env bash
# Runs a Windows program in a Wine prefix made anew for this run, then ends that prefix's
# server. Usage: fresh_prefix.sh PREFIX WINE_RUN PROGRAM [ARGS...]
set -u
prefix=$1 wine_run=$2; shift 2
WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 </dev/null || true
rm -rf "$prefix" "$prefix.lock"
bash "$wine_run" "$prefix" "$@"
status=$?
WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 </dev/null || true
exit $status
