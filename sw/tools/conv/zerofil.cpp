// zerofil: create a file of an exact length in which every byte is zero.
//
// Only the C library is used, through its C++ headers, so the program
// loads no C++ runtime.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
// Windows converts a program's narrow arguments to the ANSI code page with
// a "best fit" that can turn a letter into another, or into a slash; only
// Windows 10 1903 and later honour the manifest's UTF-8 instead. So the
// program starts at wmain (-municode), which gets them as UTF-16; main gets
// them as UTF-8, for its messages, and the file is opened by the UTF-16
// name it came as. Arguments after the second are ignored, so main gets
// only the first three.
#include <cwchar>

namespace {
const wchar_t *wide_file;
char text[3 * 32768];	// a command line has at most 32767 UTF-16 units

// to_utf8: W as UTF-8 at P, NUL included; returns the end. A lone
// surrogate keeps its own 3-byte form.
char *
to_utf8(const wchar_t *w, char *p)
{
	for (; *w != 0; w++) {
		unsigned long u = static_cast<unsigned short>(*w);
		if (u >= 0xd800 && u < 0xdc00 && w[1] >= 0xdc00 && w[1] < 0xe000)
			u = 0x10000 + ((u - 0xd800) << 10) + (static_cast<unsigned short>(*++w) - 0xdc00u);
		int n = u < 0x80 ? 0 : u < 0x800 ? 1 : u < 0x10000 ? 2 : 3;
		*p++ = static_cast<char>(n == 0 ? u : (0xff00u >> (n + 1) & 0xffu) | u >> 6 * n);
		while (n-- > 0)
			*p++ = static_cast<char>(0x80 | (u >> 6 * n & 0x3f));
	}
	*p++ = 0;
	return p;
}

// open_output: the file for writing in binary mode, created or truncated.
// NAME is the UTF-8 of the file argument; the file is opened by the UTF-16
// name it came as, which holds every name Windows can.
std::FILE *
open_output(const char * /* name */)
{
	return _wfopen(wide_file, L"wb");
}
} // namespace

// Standard C++ may not call main: here it is utf8_main, called by wmain.
#define main utf8_main

int main(int argc, char *argv[]);
int wmain(int argc, wchar_t *wargv[]);

int
wmain(int argc, wchar_t *wargv[])
{
	char *argv[4] = {};
	char *p = text;

	if (argc > 3)
		argc = 3;
	for (int i = 0; i < argc; i++) {
		argv[i] = p;
		p = to_utf8(wargv[i], p);
	}
	wide_file = argc > 2 ? wargv[2] : nullptr;
	return main(argc, argv);
}
#else
namespace {
// open_output: NAME for writing in binary mode, created or truncated.
std::FILE *
open_output(const char *name)
{
	return std::fopen(name, "wb");
}
} // namespace
#endif

int
main(int argc, char *argv[])	// cppcheck-suppress constParameter ; the language fixes it
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

	fp = open_output(argv[2]);
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
