#include "page_inputs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace morvane_cli {

namespace {

bool ParsePositive(const std::string& text, int& value) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    value = std::atoi(text.c_str());
    return value >= 1;
}

}  // namespace

bool ParsePageRange(const std::string& text, PageRange& range) {
    PageRange r;
    r.given = true;
    const size_t dash = text.find('-');
    if (dash == std::string::npos) {
        if (!ParsePositive(text, r.first)) return false;
        r.last = r.first;
    } else {
        if (!ParsePositive(text.substr(0, dash), r.first)) return false;
        const std::string tail = text.substr(dash + 1);
        if (!tail.empty() && !ParsePositive(tail, r.last)) return false;
        if (r.last != 0 && r.last < r.first) return false;
    }
    range = r;
    return true;
}

bool ReadStandardInput(std::vector<unsigned char>& data, std::string& error) {
    data.clear();
    unsigned char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = std::string("cannot read standard input: ") + std::strerror(errno);
            return false;
        }
        if (n == 0) break;
        if (static_cast<long long>(data.size()) + n > kMaxStdinBytes) {
            error = "standard input holds more than " + std::to_string(kMaxStdinBytes) + " bytes";
            data.clear();
            return false;
        }
        data.insert(data.end(), chunk, chunk + n);
    }
    if (data.empty()) {
        error = "standard input is empty";
        return false;
    }
    return true;
}

bool HasTiffSignature(const unsigned char* head, size_t size) {
    return size >= 4 &&
           ((head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0) ||
            (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43)));
}

bool HasPdfSignature(const unsigned char* head, size_t size) {
    return size >= 5 && std::memcmp(head, "%PDF-", 5) == 0;
}

bool LooksMultiPage(const std::string& path, bool& pdf) {
    pdf = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    unsigned char head[5] = {0, 0, 0, 0, 0};
    const ssize_t n = ::read(fd, head, sizeof head);
    ::close(fd);
    if (n < 4) return false;
    pdf = HasPdfSignature(head, static_cast<size_t>(n));
    return pdf || HasTiffSignature(head, static_cast<size_t>(n));
}

void AddPages(const std::string& path, int pageCount, const PageRange& range, std::vector<PageInput>& out,
              bool namePages) {
    if (pageCount <= 1 && !(namePages && pageCount == 1)) {
        if (range.first <= 1) out.push_back(PageInput{path, path, 0});
        return;
    }
    const int last = range.last == 0 || range.last > pageCount ? pageCount : range.last;
    for (int p = range.first; p <= last; ++p)
        out.push_back(PageInput{path + "#page=" + std::to_string(p), path, p - 1});
}

}  // namespace morvane_cli
