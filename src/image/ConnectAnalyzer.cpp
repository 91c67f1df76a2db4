#include "image/ConnectAnalyzer.h"
#include "image/BitPixels.h"

#include <algorithm>

// Labelling works on runs: the black runs of the previous row, each with its
// label, are matched against the runs of the current row (8-connectivity:
// overlapping or diagonally touching). When a run touches several labels
// they are merged into the one made first, which keeps every record it has
// and absorbs the other's box and pixel count; the other is marked 7 and
// dropped at the end. Merged labels are followed through a parent table, so
// a merge never rewrites label buffers and costs the same whatever the
// component's width.

CConnectAnalyzer::CConnectAnalyzer(const CRawImage* image) : CImageAnalyzer(image) {
    if (image) {
        areaRight = image->width;
        areaBottom = image->height;
    }
}

namespace {

struct Run {
    int32_t start;
    int32_t end;  // exclusive
    int32_t label;
};

// Appends the black runs of columns [left, right) of one 1-bit row.
void FindRuns(const uint8_t* row, int32_t left, int32_t right, std::vector<Run>& out) {
    int32_t x = left;
    while (x < right) {
        // Skip white: whole zero bytes at a time.
        while (x < right) {
            if ((x & 7) == 0) {
                while (x + 8 <= right && row[x >> 3] == 0) x += 8;
                if (x >= right) break;
            }
            if (bitpixels::Get(row, x)) break;
            ++x;
        }
        if (x >= right) break;
        const int32_t start = x;
        while (x < right) {
            if ((x & 7) == 0) {
                while (x + 8 <= right && row[x >> 3] == 0xFF) x += 8;
                if (x >= right) break;
            }
            if (!bitpixels::Get(row, x)) break;
            ++x;
        }
        out.push_back({start, x, -1});
    }
}

}  // namespace

int CConnectAnalyzer::Analyze(int32_t) {
    components_.clear();
    if (!image_ || !image_->HasPixels() || image_->bitCount != 1) return 0;
    const int32_t height = image_->height;
    const int32_t left = std::max(areaLeft, 0), right = std::min(areaRight, image_->width);
    const int32_t top = std::max(areaTop, 0), bottom = std::min(areaBottom, height);
    std::vector<int32_t> parent;
    std::vector<ComponentRecord>& recs = components_;
    auto find = [&parent](int32_t a) {
        int32_t root = a;
        while (parent[root] != root) root = parent[root];
        while (parent[a] != root) {
            const int32_t next = parent[a];
            parent[a] = root;
            a = next;
        }
        return root;
    };
    std::vector<Run> prev, cur;
    for (int32_t y = top; y < bottom; ++y) {
        cur.clear();
        if (left < right) FindRuns(image_->Row(y), left, right, cur);
        const int32_t lowEdge = std::min(y + 1, height - 1);
        size_t p = 0;
        for (Run& run : cur) {
            // Previous-row runs ending before column start - 1 cannot touch
            // this run or any later one.
            while (p < prev.size() && prev[p].end < run.start) ++p;
            int32_t label = -1;
            for (size_t q = p; q < prev.size() && prev[q].start <= run.end; ++q) {
                const int32_t other = find(prev[q].label);
                if (label < 0) {
                    label = other;
                    ComponentRecord& c = recs[label];
                    c.left = std::min(c.left, run.start);
                    c.right = std::max(c.right, run.end);
                    c.bottom = lowEdge;
                    c.pixelCount += run.end - run.start;
                } else if (other != label) {
                    const int32_t keep = std::min(label, other), gone = std::max(label, other);
                    ComponentRecord& k = recs[keep];
                    ComponentRecord& g = recs[gone];
                    k.left = std::min(k.left, g.left);
                    k.top = std::min(k.top, g.top);
                    k.right = std::max(k.right, g.right);
                    k.bottom = lowEdge;
                    k.pixelCount += g.pixelCount;
                    g.kind = 7;
                    parent[gone] = keep;
                    label = keep;
                }
            }
            if (label < 0) {
                ComponentRecord c;
                c.left = run.start;
                c.top = y;
                c.right = run.end;
                c.bottom = lowEdge;
                c.pixelCount = run.end - run.start;
                c.kind = 0;
                c.seedX = run.start;
                c.seedY = y;
                label = static_cast<int32_t>(recs.size());
                recs.push_back(c);
                parent.push_back(label);
            }
            run.label = label;
        }
        std::swap(prev, cur);
    }
    // Drop the records merged away, keep the order, mark the rest final.
    size_t out = 0;
    for (size_t i = 0; i < recs.size(); ++i) {
        if (recs[i].kind == 7) continue;
        recs[out] = recs[i];
        recs[out].kind = 6;
        ++out;
    }
    recs.resize(out);
    return 1;
}
