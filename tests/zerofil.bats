#!/usr/bin/env bats
# The behaviour of zerofil, one case a line. Helpers are in helper.bash.

# shellcheck disable=SC2034 # prog, set by a case, is read by the helpers

load helper

# Arguments
@test "no arguments: usage" { usage; }
@test "one argument: usage" { usage 10; }
@test "a help flag alone: usage" { usage --help; }
@test "a help flag and a file: an empty file" { makes --help f 0; }
@test "extra arguments are ignored" { makes 5 f 5 extra more; }
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

# Block boundaries
@test "one block exactly: 524288" { makes 524288 f 524288; }
@test "one block and a byte: 524289" { makes 524289 f 524289; }
@test "two blocks exactly: 1048576" { makes 1048576 f 1048576; }
@test "two blocks and a byte: 1048577" { makes 1048577 f 1048577; }

# Existing files
@test "a longer file is truncated" { head -c 700000 /dev/urandom >f; makes 10 f 10; }
@test "a file is emptied by size 0" { echo data >f; makes 0 f 0; }

# Open refused: the line, status 1, nothing made or changed
@test "open: a missing folder" { refuses nodir/f; [[ ! -e nodir ]]; }
@test "open: a folder as target" { mkdir d; refuses d; [[ -z $(ls -A d) ]]; }
@test "open: no permission, no file made" { locked; refuses f; [[ ! -e f ]]; }
@test "open: no permission, existing file untouched" { echo keep >f; locked; refuses f; [[ $(<f) == keep ]]; }
@test "open: read-only filesystem, no file made" { small_fs ro,size=1m; refuses mnt/f; [[ ! -e mnt/f ]]; }
@test "open: read-only filesystem, existing file untouched" { small_fs size=1m; echo keep >mnt/f; mount -o remount,ro mnt; refuses mnt/f; [[ $(<mnt/f) == keep ]]; }

# Write refused: the line, status 1, the partial file kept
@test "full device: in the block phase" { short 1048577 /dev/full; }
@test "full device: in the byte phase" { short 5000 /dev/full; }
@test "full device: only at close" { short 10 /dev/full; }
@test "close refused: the last bytes never reach the file" { refused_close 10 f; }
@test "size limit: in the block phase" { limited 256 2097152 262144; }
@test "size limit: in the byte phase" { limited 600 724288 614400; }
@test "size limit: only the last byte" { limited 1024 1048577 1048576; }
@test "size limit: -1 wraps to the largest size" { limited 1024 -1 1048576; }
@test "size limit: too large a number saturates" { limited 64 99999999999999999999 65536; }
@test "size limit: 4 GiB and a byte is not cut to 32 bits" { limited 1024 4294967297 1048576; }
@test "a pipe: 4 GiB and a byte, none lost, none more" { piped 4294967297; }
@test "full filesystem: in the block phase" { small_fs size=1m; short 2097152 mnt/f 1048576; }
@test "full filesystem: in the byte phase" { small_fs size=1m; short 1124288 mnt/f 1048576; }
@test "full filesystem: only the last byte" { small_fs size=1m; short 1048577 mnt/f 1048576; }

# File names are used as given, whatever their letters
@test "file name: Cyrillic" { makes 7 'Иван.bin' 7; }
@test "file name: Japanese" { makes 7 'テスト.bin' 7; }
@test "file name: Greek" { makes 7 'Ωmega.img' 7; }
@test "file name: an emoji" { makes 7 '💾.img' 7; }
@test "file name: a space" { makes 7 'disk image.img' 7; }
@test "file name: a look-alike slash is a letter, not a separator" { echo keep >../victim; makes 0 'x／..／..／victim' 0 && [[ $(<../victim) == keep ]]; }

# The invocation name in messages is argv[0] as given (a full path in every case above)
@test "name: a relative path" { prog=$(realpath --relative-to=. "$ZEROFIL"); short 10 /dev/full; }
@test "name: a bare name found through PATH" { [[ -z $ZEROFIL_RUNNER ]] || skip "${ZEROFIL_RUNNER%% *} does not search PATH"; PATH=$(dirname "$ZEROFIL"):$PATH prog=$(basename "$ZEROFIL"); short 10 /dev/full; }
