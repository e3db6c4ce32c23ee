// zerofil: create a file of an exact length in which every byte is zero.
//
// Only the C library is used, through its C++ headers, and the platform's
// own file calls, so the program loads no C++ runtime.

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>

#ifdef _WIN32
// Windows converts a program's narrow arguments to the ANSI code page with
// a "best fit" that can turn a letter into another, or into a slash; only
// Windows 10 1903 and later honour the manifest's UTF-8 instead. So the
// program starts at wmain (-municode), which gets them as UTF-16; main gets
// them as UTF-8, for its messages, and the file is opened by the UTF-16
// name it came as. Arguments after the second are ignored, so main gets
// only the first three.
#include <cwchar>
#include <io.h>
#include <sys/stat.h>

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

// open_output: the file for writing in binary mode, created or truncated;
// a descriptor, or -1. NAME is the UTF-8 of the file argument; the file is
// opened by the UTF-16 name it came as, which holds every name Windows can.
int
open_output(const char * /* name */)
{
	return _wopen(wide_file, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}

// write_some, close_output: the C runtime's calls, which take a count of
// at most INT_MAX; the program writes a block at most.
int
write_some(int fd, const char *p, std::size_t n)
{
	return _write(fd, p, static_cast<unsigned>(n));
}

int
close_output(int fd)
{
	return _close(fd);
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
#include <unistd.h>

namespace {
// open_output: NAME for writing, created or truncated, with the default
// permissions less the umask; a descriptor, or -1. With 64-bit offsets
// (_FILE_OFFSET_BITS) a 32-bit C library binds the large-file open.
int
open_output(const char *name)
{
	return open(name, O_WRONLY | O_CREAT | O_TRUNC, 0666);
}

ssize_t
write_some(int fd, const char *p, std::size_t n)
{
	return write(fd, p, n);
}

int
close_output(int fd)
{
	return close(fd);
}
} // namespace
#endif

namespace {
// The output stream, the program's own over the platform's file calls.
// A whole block goes straight to the file. Single bytes are held until
// the stream is closed, and zero bytes are held as a mere count, written
// out then from a block of zeros: so each costs an addition, where a
// byte through the C library's stream costs a call.
struct out {
	int fd;
	const char *zeros;	// zsize zero bytes, the source of held ones
	std::size_t zsize;
	unsigned long long held;	// zero bytes taken, not yet written
};

// put_all: N bytes from P into FD, in as many calls as it takes; false
// once a call is refused or takes nothing
bool
put_all(int fd, const char *p, std::size_t n)
{
	while (n > 0) {
		auto w = write_some(fd, p, n);
		if (w < 0 && errno == EINTR)
			continue;
		if (w <= 0)
			return false;
		p += w;
		n -= static_cast<std::size_t>(w);
	}
	return true;
}

// out_flush: write out the zero bytes held
bool
out_flush(out *s)
{
	while (s->held > 0) {
		std::size_t n = s->held < s->zsize ? static_cast<std::size_t>(s->held) : s->zsize;
		if (!put_all(s->fd, s->zeros, n))
			return false;
		s->held -= n;
	}
	return true;
}

// out_open: NAME for writing in binary mode, created or truncated, as the
// stream S, which writes held zeros from the ZSIZE zero bytes at ZEROS;
// S, or null
out *
out_open(const char *name, out *s, const char *zeros, std::size_t zsize)
{
	s->fd = open_output(name);
	s->zeros = zeros;
	s->zsize = zsize;
	s->held = 0;
	return s->fd < 0 ? nullptr : s;
}

// out_write: SIZE bytes from P, as one element: 1 once every byte is
// taken, else 0
inline std::size_t
out_write(const void *p, std::size_t size, out *s)
{
	const char *bytes = static_cast<const char *>(p);

	if (size == 1) {
		// A copy: P's object is never handed to the platform, so the
		// compiler may see the program's byte as the constant it is.
		const char ch = *bytes;
		if (ch == 0) {
			s->held++;
			return 1;
		}
		return out_flush(s) && put_all(s->fd, &ch, 1) ? 1 : 0;
	}
	return out_flush(s) && put_all(s->fd, bytes, size) ? 1 : 0;
}

// out_close: write out what is held and close the file: 0, or EOF when
// either failed
int
out_close(out *s)
{
	if (!out_flush(s))
		return EOF;
	return close_output(s->fd) == 0 ? 0 : EOF;
}
} // namespace

int
main(int argc, char *argv[])	// cppcheck-suppress constParameter ; the language fixes it
{
	unsigned long long size;
	out file;
	out *fp;
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

	fp = out_open(argv[2], &file, buf, sizeof(buf));
	if (fp == nullptr) {
		(void)std::fprintf(stderr, "%s: Can't open file %s for writing\n",
		    argv[0], argv[2]);
		return 1;
	}

	// Strictly greater: the last 1 to 524288 bytes always go through the
	// byte loop below, even when size is an exact multiple of the block.
	while (size > sizeof(buf)) {
		// With the whole block as one element, a short write returns 0.
		if (out_write(buf, sizeof(buf), fp) != 1)
			goto fail;
		size -= sizeof(buf);
	}
	while (size != 0) {
		size--;
		if (out_write(&c, 1, fp) != 1)
			goto fail;
	}

	// The last bytes are still held: a failure to write them, or to close
	// the file (NFS may report a full disk only then), is a failed write.
	if (out_close(fp) != 0)
		goto fail;
	return 0;

fail:
	// The partial file stays, with what reached it; process exit closes
	// it. Nothing is held then: blocks come before single bytes.
	(void)std::fprintf(stderr, "%s: Can't write all bytes to file %s\n",
	    argv[0], argv[2]);
	return 1;
}
