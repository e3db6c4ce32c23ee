// The write floor for bench/run.sh: the same bytes as zerofil, one block of
// the program's size (BLOCK, given by the script, which reads it from the
// program's source) zeroed once and written with write(2) in a loop, and
// nothing else. Not installed.
//
//   zerofil-floor SIZE FILE BLOCK

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int
main(int argc, char *argv[])
{
	if (argc != 4)
		return 2;
	size_t block = std::strtoull(argv[3], nullptr, 0);
	char *buf = static_cast<char *>(std::malloc(block));
	if (block == 0 || buf == nullptr)
		return 2;
	std::memset(buf, 0, block);
	unsigned long long size = std::strtoull(argv[1], nullptr, 0);
	int fd = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0666);
	if (fd < 0)
		return 1;
	while (size > 0) {
		size_t n = size < block ? size : block;
		ssize_t w = write(fd, buf, n);
		if (w <= 0)
			return 1;
		size -= static_cast<size_t>(w);
	}
	return close(fd) == 0 ? 0 : 1;
}
