#!/usr/bin/env bats
# The behaviour of zerofil, one case a line. Helpers are in helper.bash;
# $block is the size of the program's zero block. Cases tagged "sample" are
# the few that the lines booting a whole machine for each run also run;
# "fs", those that the lines on a file system of their own run.

# shellcheck disable=SC2034 # prog, set by a case, is read by the helpers

# shellcheck disable=SC2154 # block, kind and runner come from helper.bash

load helper

# Arguments
# bats test_tags=sample
@test "no arguments: usage" { usage; }
@test "one argument: usage" { usage 10; }
@test "a help flag alone: usage" { usage --help; }
@test "a help flag and a file: an empty file" { makes --help f 0; }
@test "extra arguments are ignored" { makes 5 f 5 extra more; }
# shellcheck disable=SC2046 # a hundred words
@test "many extra arguments are ignored" { makes 5 f 5 $(seq 100); }
@test "a lone dash names a file, stdout stays empty" { makes 3 - 3; }

# Number forms
@test "decimal" { makes 100 f 100; }
@test "zero: an empty file" { makes 0 f 0; }
@test "hex with 0x" { makes 0x20 f 32; }
@test "hex with 0X" { makes 0X1f f 31; }
@test "a leading 0 is octal: 010 is 8" { makes 010 f 8; }
@test "08 is 0: the 8 ends the octal number" { makes 08 f 0; }
@test "leading white space and a plus sign" { makes $' \t+12' f 12; }
@test "trailing text is ignored: 1MB is 1" { makes 1MB f 1; }
@test "no digits is 0" { makes abc f 0; }
@test "empty size text is 0" { makes '' f 0; }

# Block boundaries: the last 1 to $block bytes go one at a time
@test "one block exactly" { makes "$block" f "$block"; }
# bats test_tags=sample,fs
@test "one block and a byte" { makes $((block + 1)) f $((block + 1)); }
@test "two blocks exactly" { makes $((2 * block)) f $((2 * block)); }
@test "two blocks and a byte" { makes $((2 * block + 1)) f $((2 * block + 1)); }

# Existing files
@test "a longer file is truncated" { head -c $((block + 1)) /dev/urandom >f; makes 10 f 10; }
@test "a file is emptied by size 0" { echo data >f; makes 0 f 0; }
@test "a new file gets mode 0666 less the umask" { new_mode 022 644; new_mode 077 600; }

# The calls: a write cut short by a signal is made again, and the bytes
# after the blocks reach the file in a call or two, not one a byte.
@test "a write interrupted by a signal is made again" { traced -e trace=write -e inject=write:error=EINTR:when=1; makes $((block + 1)) f $((block + 1)); }
@test "a write that takes nothing is refused, not made again forever" { traced -e trace=write -e inject=write:retval=0:when=1; write_refused $((block + 1)) f; }
@test "two blocks: a few write calls, not one a byte" { traced -e trace=write; makes $((2 * block)) f $((2 * block)); writes_at_most 3; }

# Open refused: the line, status 1, nothing made or changed
# bats test_tags=sample
@test "open: a missing folder" { open_refused nodir/f; [[ ! -e nodir ]]; }
@test "open: a folder as target" { mkdir d; open_refused d; [[ -z $(ls -A d) ]]; }
@test "open: no permission, no file made" { locked; open_refused f; [[ ! -e f ]]; }
@test "open: no permission, existing file untouched" { echo keep >f; locked; open_refused f; [[ $(<f) == keep ]]; }
@test "open: read-only filesystem, no file made" { small_fs ro,size=1m; open_refused mnt/f; [[ ! -e mnt/f ]]; }
@test "open: read-only filesystem, existing file untouched" { small_fs size=1m; echo keep >mnt/f; mount -o remount,ro mnt; open_refused mnt/f; [[ $(<mnt/f) == keep ]]; }

# Write refused: the line, status 1, the partial file kept. 5000 bytes are
# more than a C library's stream buffer and less than a block; a file-size
# limit or a file system that ends within the bytes after the blocks stops
# the byte phase.
# bats test_tags=sample
@test "full device: in the block phase" { write_refused $((2 * block + 1)) /dev/full; }
@test "full device: in the byte phase" { write_refused 5000 /dev/full; }
@test "full device: only at close" { write_refused 10 /dev/full; }
@test "close refused: after every byte was written" { refused_close 10; }
@test "size limit: in the block phase" { limited $((block / 2)) $((4 * block)); }
@test "size limit: in the byte phase" { limited $((block + 65536)) $((block + 131072)); }
@test "size limit: only the last byte" { limited $((2 * block)) $((2 * block + 1)); }
@test "size limit: -1 wraps to the largest size" { limited $((2 * block)) -1; }
@test "size limit: too large a number saturates" { limited 65536 99999999999999999999; }
@test "size limit: 4 GiB and a byte is not cut to 32 bits" { limited $((2 * block)) 4294967297; }
@test "a pipe: 4 GiB and a byte, none lost, none more" { piped 4294967297; }
@test "full filesystem: in the block phase" { small_fs size=$((2 * block)); write_refused $((4 * block)) mnt/f $((2 * block)); }
@test "full filesystem: in the byte phase" { small_fs size=$((2 * block)); write_refused $((2 * block + block / 4)) mnt/f $((2 * block)); }
@test "full filesystem: only the last byte" { small_fs size=$((2 * block)); write_refused $((2 * block + 1)) mnt/f $((2 * block)); }

# File names are used as given, whatever their letters
@test "file name: Cyrillic" { makes 7 'Иван.bin' 7; }
@test "file name: Japanese" { makes 7 'テスト.bin' 7; }
@test "file name: Greek" { makes 7 'Ωmega.img' 7; }
@test "file name: an emoji" { makes 7 '💾.img' 7; }
@test "file name: a space" { makes 7 'disk image.img' 7; }
@test "file name: a look-alike slash is a letter, not a separator" { echo keep >../victim; makes 0 'x／..／..／victim' 0 && [[ $(<../victim) == keep ]]; }
# U+0800, the first letter of 3 UTF-8 bytes; U+10400, of 4, 2 UTF-16 units, the second 0xdc00
@test "file name: a message keeps letters of 3 and 4 UTF-8 bytes" { open_refused 'nodir/ࠀ𐐀'; }

# The invocation name in messages is argv[0] as given (a full path in every case above)
@test "name: a relative path" { prog=$(realpath --relative-to=. "$ZEROFIL"); write_refused 10 /dev/full; }
@test "name: a bare name found through PATH" { [[ $kind == host ]] || skip "${runner[0]##*/} does not search PATH"; PATH=$(dirname "$ZEROFIL"):$PATH prog=$(basename "$ZEROFIL"); write_refused 10 /dev/full; }
