#!/usr/bin/env bash
# Runs the end-to-end suite with every volmek program under valgrind's memcheck: any invalid
# read or write, use of uninitialised memory or definite leak fails the test that ran it.
set -euo pipefail
BUILD=${1:-build}
command -v valgrind >/dev/null || { echo "valgrind no esta instalado"; exit 1; }
export VOLMEK_TEST_WRAPPER="valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite --show-leak-kinds=definite"
# The crash and speed tests kill or time programs; they say nothing about memory.
"$BUILD/e2e_test" --gtest_filter="${MEMCHECK_FILTER:-*-*Crash*:*Kill*:*Bench*}" --gtest_brief=1
