// The write floor for bench/run.sh: the same bytes as zerofil, one zeroed
// block of the program's size (BLOCK, from the build) written with
// write(2) in a loop and nothing else. Not installed.

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int
main(int argc, char *argv[])
{
	char buf[BLOCK];

	if (argc != 3)
		return 2;
	std::memset(buf, 0, sizeof(buf));
	unsigned long long size = std::strtoull(argv[1], nullptr, 0);
	int fd = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0666);
	if (fd < 0)
		return 1;
	while (size > 0) {
		size_t n = size < sizeof(buf) ? size : sizeof(buf);
		ssize_t w = write(fd, buf, n);
		if (w <= 0)
			return 1;
		size -= static_cast<size_t>(w);
	}
	return close(fd) == 0 ? 0 : 1;
}
