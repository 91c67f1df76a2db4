#include "platform/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

namespace libMorvaneClassifier {

namespace {

// A stream over a descriptor opened with O_NONBLOCK, when it names a regular
// file: the type is checked on the descriptor itself (no race with a rename),
// then reads and writes block again. Null (descriptor closed) otherwise.
std::FILE* StreamOfRegularFile(int fd, const char* mode) {
    if (fd < 0) return nullptr;
    struct stat st {};
    const int flags = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? ::fcntl(fd, F_GETFL) : -1;
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* f = ::fdopen(fd, mode);
    if (!f) ::close(fd);
    return f;
}

}  // namespace

std::FILE* OpenRegularFileForReading(const std::string& path) {
    if (path.empty()) return nullptr;
    return StreamOfRegularFile(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY), "rb");
}

std::FILE* OpenRegularFileForWriting(const std::string& path) {
    if (path.empty()) return nullptr;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return nullptr;
    return StreamOfRegularFile(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666), "wb");
}

bool ReadRegularFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& data) {
    data.clear();
    std::FILE* f = OpenRegularFileForReading(path);
    if (!f) return false;
    bool ok = true;
    try {
        struct stat st {};
        if (::fstat(::fileno(f), &st) == 0) {
            if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > maxBytes)
                ok = false;
            else
                data.reserve(static_cast<size_t>(st.st_size));
        }
        // Read until the end rather than trusting the size: a file may grow
        // or shrink while it is read, and the limit holds either way.
        uint8_t chunk[65536];
        while (ok) {
            const size_t got = std::fread(chunk, 1, sizeof(chunk), f);
            if (got > 0) {
                if (data.size() + got > maxBytes) {
                    ok = false;
                    break;
                }
                data.insert(data.end(), chunk, chunk + got);
            }
            if (got < sizeof(chunk)) {
                if (std::ferror(f)) ok = false;
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    std::fclose(f);
    if (!ok) {
        data.clear();
        data.shrink_to_fit();
    }
    return ok;
}

}  // namespace libMorvaneClassifier
