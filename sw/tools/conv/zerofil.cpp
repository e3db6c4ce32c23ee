// zerofil: create a file of an exact length in which every byte is zero.
//
// Only the C library is used, through its C++ headers, so the program
// loads no C++ runtime.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int
main(int argc, char *argv[])
{
	unsigned long long size;
	std::FILE *fp;
	const char c = 0;
	char buf[524288];

#ifdef SIGXFSZ
	// Past a file-size limit (ulimit -f) the write must come back refused,
	// so that it is reported like a full disk; by default the signal kills
	// the process without a word.
	(void)std::signal(SIGXFSZ, SIG_IGN);
#endif

	if (argc <= 2) {
		(void)std::printf("Usage: zerofil <size bytes> <file>\n");
		std::exit(0);
	}

	std::memset(buf, 0, sizeof(buf));

	// Deliberately lenient and unchecked: base 0 takes 0x.. as hex and a
	// leading 0 as octal, trailing text is ignored, no digits give 0 and a
	// minus sign wraps. Scripts rely on this.
	size = std::strtoull(argv[1], nullptr, 0);

	fp = std::fopen(argv[2], "wb");
	if (fp == nullptr) {
		(void)std::fprintf(stderr, "%s: Can't open file %s for writing\n",
		    argv[0], argv[2]);
		return 1;
	}

	// Strictly greater: the last 1 to 524288 bytes always go through the
	// byte loop below, even when size is an exact multiple of the block.
	while (size > sizeof(buf)) {
		// With the whole block as one element, a short write returns 0.
		if (std::fwrite(buf, sizeof(buf), 1, fp) != 1)
			goto fail;
		size -= sizeof(buf);
	}
	while (size != 0) {
		size--;
		if (std::fwrite(&c, 1, 1, fp) != 1)
			goto fail;
	}

	// The last bytes are still in the stream's buffer. Flush them before
	// closing: the Windows C runtime's fclose has been seen to return 0
	// after its own final flush failed.
	if (std::fflush(fp) != 0)
		goto fail;
	if (std::fclose(fp) != 0)
		goto fail;
	return 0;

fail:
	// The partial file stays; process exit flushes and closes the stream.
	(void)std::fprintf(stderr, "%s: Can't write all bytes to file %s\n",
	    argv[0], argv[2]);
	return 1;
}
