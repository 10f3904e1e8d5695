#!/usr/bin/env bash
# Tells whether this machine runs 32-bit x86 programs, which the 32-bit Wine loader needs: assembles and
# runs a tiny 32-bit program that exits with status 42. Exits 0 when it ran; otherwise prints why and
# exits 1.
set -uo pipefail
work=$(mktemp -d "${TMPDIR:-/tmp}/tov-probe32.XXXXXX")
trap 'rm -rf "$work"' EXIT
printf '.globl _start\n_start:\n movl $1, %%eax\n movl $42, %%ebx\n int $0x80\n' >"$work/probe.s"
if ! { as --32 -o "$work/probe.o" "$work/probe.s" && ld -m elf_i386 -o "$work/probe" "$work/probe.o"; } 2>"$work/build.log"; then
  echo "cannot build a 32-bit probe program: $(head -n 1 "$work/build.log")"
  exit 1
fi
"$work/probe" 2>"$work/run.log"
status=$?
if ((status != 42)); then
  echo "the kernel does not run 32-bit programs (probe exit status $status: $(head -n 1 "$work/run.log"))"
  exit 1
fi
exit 0
