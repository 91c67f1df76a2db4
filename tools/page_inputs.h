// morvane-classify's pages: files, the pages of multi-page files, and one
// image read from standard input ("-").
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace morvane_cli {

// One page to classify: `name` is what the output shows ("scan.tif#page=2"),
// `path` the file ("-" for standard input) and `page` the page counted from 0.
struct PageInput {
    std::string name;
    std::string path;
    int page = 0;
};

// --pages A-B (or N, or A-): pages A to B counted from 1, both included.
struct PageRange {
    int first = 1;
    int last = 0;  // 0: to the last page
    bool given = false;
};
// False when the text is not a range of that form.
bool ParsePageRange(const std::string& text, PageRange& range);

// Most bytes read from standard input: the limit of an image file.
constexpr long long kMaxStdinBytes = 256LL << 20;
// Reads all of standard input, at most kMaxStdinBytes; false (with the
// cause in `error`) when it is larger, empty or unreadable.
bool ReadStandardInput(std::vector<unsigned char>& data, std::string& error);

// Signatures of the formats that hold several pages.
bool HasTiffSignature(const unsigned char* data, size_t size);
bool HasPdfSignature(const unsigned char* data, size_t size);

// True when the file's first bytes carry a TIFF or a PDF signature (the
// formats that hold several pages); pdf tells which.
bool LooksMultiPage(const std::string& path, bool& pdf);

// The pages of one file: each page of a multi-page file in `range`, named
// "path#page=N"; a single-page file as itself when page 1 is in range, or
// as "path#page=1" when namePages (a PDF names every page).
// pageCount: the file's pages (0 when unknown: the file is taken as one page,
// and reading it will tell why it fails).
void AddPages(const std::string& path, int pageCount, const PageRange& range, std::vector<PageInput>& out,
              bool namePages = false);

}  // namespace morvane_cli
