# The table of builds: every build of the program, a line each, and the
# architectures they are built for. The test preset builds every line and
# runs its rows (tests/CMakeLists.txt); the dist preset builds only those
# that ship, and packs them (dist.cmake). Both pack the same lines the same
# way, so the programs tested are the programs shipped.
#
# arch(NAME RPM name QEMU name TRIPLE triple [CPU cpu])
#   an architecture by Debian's name, with rpm's, qemu's (qemu-NAME,
#   qemu-system-NAME) and the GNU triple of its compiler and of its
#   toolchain file, cmake/TRIPLE.cmake; CPU: the oldest CPU its packages
#   must run on, as qemu names it (qemu-NAME -cpu help), on which qemu-user
#   runs the rows of its lines; OCI: the platforms of the container image
#   that its static program serves, architecture/variant as OCI names them
#
# line(NAME [NEEDS what...] [ARCH arch [MUSL]] [TOOLCHAIN file] [BUILD arg...]
#      [PROGRAM line] [RUN kind[:place]] [ROWS row...] [QUICK] [SHIPS format...])
#   NEEDS      programs (of scripts/packages.tsv), or true variables,
#              without which it is skipped
#   ARCH       built for that architecture by its toolchain file; MUSL:
#              static on musl instead (cmake/musl.cmake)
#   TOOLCHAIN  built with cmake/FILE.cmake
#   BUILD      further CMake arguments for its tree
#   PROGRAM    runs the program of that line instead of a build of its own;
#              with SHIPS, ARCH names the packages' architecture; with
#              RUN qemu, the architecture whose CPU qemu-user runs it as
#   RUN        host (this machine), qemu (qemu-user for its ARCH), wine,
#              vm:ARCH (Debian's kernel for ARCH, a machine of
#              "tests/vm.sh machines"), board:ARCH (Debian's kernel for
#              ARCH on a board of "tests/vm.sh boards", which runs the
#              rows), root:SUITE (a Debian root of
#              that suite, tests/root.sh), msi (Wine, the program
#              installed by the release's MSI, tests/msi.sh), disk:FS (the file system FS of
#              "tests/fs.sh disks", made and mounted under Debian 13's
#              amd64 kernel, which runs the rows there) or fuse:FS (FS of
#              "tests/fs.sh fuse", mounted here through FUSE, the rows on
#              it); none: built only
#   ROWS       table (tests/zerofil.bats), a tag of its cases (its cases
#              tagged so), or a group of tests/builds.bats
#   QUICK      its rows, but the long large and control ones, are in the
#              maintainer's quick label (ctest -L quick)
#   SHIPS      the formats of the release files made from it: tar, zip,
#              msi (a Windows installer of the zip's files), deb, rpm (the
#              last two name the package by its ARCH), image (its tar's
#              program in the one container image, for its ARCH's OCI
#              platforms); dist.cmake names each
# Every field is checked where it is read (cmake/table.cmake): a word that
# is none of these, or a value that is not one of those it may be, stops
# the configure, naming the line.

include(${CMAKE_CURRENT_LIST_DIR}/table.cmake)

# Sanitizers where the compiler has them.
include(CheckCXXSourceCompiles)
set(sanitize "-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer")
if(BUILD_TESTING)
  set(CMAKE_REQUIRED_FLAGS ${sanitize})
  set(CMAKE_REQUIRED_LINK_OPTIONS -fsanitize=address,undefined)
  check_cxx_source_compiles("int main() { return 0; }" HAVE_SANITIZERS)
  unset(CMAKE_REQUIRED_FLAGS)
  unset(CMAKE_REQUIRED_LINK_OPTIONS)
endif()
set(static -DZEROFIL_STATIC=ON)
# Without 64-bit offsets; Debian 13 armhf defaults to 64-bit time, which
# needs them.
set(no_lfs "-DCMAKE_CXX_FLAGS=-U_FILE_OFFSET_BITS -U_TIME_BITS")

arch(amd64   RPM x86_64  QEMU x86_64  TRIPLE x86_64-linux-gnu OCI amd64)
arch(i386    RPM i686    QEMU i386    TRIPLE i686-linux-gnu)
arch(arm64   RPM aarch64 QEMU aarch64 TRIPLE aarch64-linux-gnu OCI arm64)
# Raspberry Pi OS builds its armhf for the ARMv6 of the Pi Zero and Pi 1.
arch(armhf   RPM armv7hl QEMU arm     TRIPLE arm-linux-gnueabihf CPU arm1176)
# Its ARMv5TE program runs on every later 32-bit Arm too.
arch(armel   RPM armv5tel QEMU arm    TRIPLE arm-linux-gnueabi CPU arm926 OCI arm/v5 arm/v6 arm/v7)
arch(riscv64 RPM riscv64 QEMU riscv64 TRIPLE riscv64-linux-gnu OCI riscv64)

line(native                  RUN host         ROWS table large dynamic QUICK)
line(asan                    NEEDS HAVE_SANITIZERS RUN host ROWS table QUICK
  BUILD "-DCMAKE_CXX_FLAGS=${sanitize}" "-DCMAKE_EXE_LINKER_FLAGS=${sanitize}")
line(clang                   NEEDS clang++ BUILD -DCMAKE_CXX_COMPILER=clang++ RUN host ROWS table dynamic QUICK)
# 32-bit x86: natively where the kernel allows, and under qemu-i386 on every host.
line(i686                    ARCH i386        RUN host         ROWS table large dynamic lfs)
line(i686-qemu               PROGRAM i686     RUN qemu         ROWS table lfs)
line(i686-32bit-offsets      ARCH i386 BUILD ${no_lfs} RUN host ROWS control nolfs)
line(i686-32bit-offsets-qemu PROGRAM i686-32bit-offsets RUN qemu ROWS nolfs)
line(linux-x86_64            ARCH amd64 MUSL  RUN host         ROWS table static          SHIPS tar deb rpm image)
line(linux-aarch64           ARCH arm64 MUSL  RUN qemu         ROWS table large static    SHIPS tar deb rpm image)
# One 32-bit Arm program, ARMv5TE code with software floating point, static:
# it runs on every Raspberry Pi and on Debian's armel and armhf alike. The
# ARMv7 program of Debian's armhf compiler dies on the Pi Zero's ARM1176.
line(linux-armel             ARCH armel MUSL  RUN qemu         ROWS table large static armv5 SHIPS tar deb image)
line(linux-armhf             PROGRAM linux-armel ARCH armhf RUN qemu ROWS table large static armv5 SHIPS tar deb rpm)
line(armhf-armv7-on-arm1176  ARCH armhf MUSL  RUN qemu         ROWS illegal)
# The same as armel's oldest CPU: were it an ARMv7, the program would run.
line(armhf-armv7-on-arm926   PROGRAM armhf-armv7-on-arm1176 ARCH armel RUN qemu ROWS illegal)
line(linux-riscv64           ARCH riscv64 MUSL RUN qemu        ROWS table large static    SHIPS tar rpm image)
line(windows-x86_64          TOOLCHAIN mingw-w64-x86_64 RUN wine ROWS table large pe     SHIPS zip msi)
line(windows-msi             PROGRAM windows-x86_64 RUN msi ROWS sample)
line(windows-no-manifest     TOOLCHAIN mingw-w64-x86_64 BUILD -DZEROFIL_MANIFEST=OFF RUN wine ROWS table)
line(cygwin-platform         TOOLCHAIN cygwin-mingw)
line(vm-armhf                PROGRAM linux-armhf RUN vm:armhf  ROWS sample large)
line(vm-armhf-32bit-offsets  ARCH armhf BUILD ${static} ${no_lfs} RUN vm:armhf ROWS control)
# Its 4 GiB row is run under qemu-aarch64: a 64-bit kernel adds nothing
# to it.
line(vm-aarch64              PROGRAM linux-aarch64 RUN vm:arm64 ROWS sample)
# On the Raspberry Pi Zero's ARM1176, under Debian's kernel for it; where
# the ARMv7 program must die. Its 4 GiB row is not run there: the same
# program writes 4 GiB as an ARM1176 under qemu-arm and under Debian's
# armhf kernel (vm-armhf), and on the board it took minutes of CI's time.
line(vm-raspi0               PROGRAM linux-armhf RUN board:armel ROWS sample)
line(vm-raspi0-armv7         PROGRAM armhf-armv7-on-arm1176 RUN board:armel ROWS illegal)
line(vm-i686                 ARCH i386 BUILD ${static} RUN vm:amd64 ROWS sample large)
line(vm-i686-32bit-offsets   ARCH i386 BUILD ${static} ${no_lfs} RUN vm:amd64 ROWS control)
# The shipped x86-64 program on the file systems images are written to:
# made and mounted under Debian's kernel, and through FUSE here. Only the
# cases that a file system can change: the others, such as the usage line,
# run on the machines above.
line(fs-vfat                 PROGRAM linux-x86_64 RUN disk:vfat  ROWS fs full)
line(fs-vfat-large           PROGRAM linux-x86_64 RUN disk:vfat-large ROWS fat32)
line(fs-exfat                PROGRAM linux-x86_64 RUN disk:exfat ROWS fs full)
line(fs-ntfs3                PROGRAM linux-x86_64 RUN disk:ntfs3 ROWS fs full)
line(fs-f2fs                 PROGRAM linux-x86_64 RUN disk:f2fs  ROWS fs full)
line(fs-xfs                  PROGRAM linux-x86_64 RUN disk:xfs   ROWS fs full)
line(fs-btrfs                PROGRAM linux-x86_64 RUN disk:btrfs ROWS fs full)
line(fs-ext4                 PROGRAM linux-x86_64 RUN disk:ext4  ROWS fs full quota)
line(fs-nfs                  PROGRAM linux-x86_64 RUN disk:nfs   ROWS fs full nfs)
line(fs-ntfs-3g              PROGRAM linux-x86_64 RUN fuse:ntfs-3g ROWS fs full)
line(fs-exfat-fuse           PROGRAM linux-x86_64 RUN fuse:exfat-fuse ROWS fs full)
# Each suite's own program, built as the README builds it. The whole table
# runs in each root too, as autopkgtest runs it against the suite's .deb.
line(bullseye                RUN root:bullseye ROWS sample)
line(bookworm                RUN root:bookworm ROWS sample)
line(trixie                  RUN root:trixie  ROWS sample)

table_done()
