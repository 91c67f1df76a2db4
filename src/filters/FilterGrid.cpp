#include "filters/FilterGrid.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "core/ResultCodes.h"
#include "image/Dib.h"
#include "preprocess/ImageProcessing.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

// ---- counting ----

bool CountGridCells(const CRawImage& image, int32_t gridRows, int32_t gridCols, int32_t* out) {
    if (!out || !image.HasPixels() || image.bitCount != 1) return false;
    if (gridRows <= 0 || gridCols <= 0 || gridRows > kMaxGridSide || gridCols > kMaxGridSide) return false;
    uint8_t bits[256];
    for (int b = 0; b < 256; ++b) {
        int n = 0;
        for (int k = 0; k < 8; ++k) n += (b >> k) & 1;
        bits[b] = static_cast<uint8_t>(n);
    }
    const int32_t cellRows = image.height / gridRows;
    const int32_t cellBytes = image.bytesPerRow / gridCols;
    std::fill(out, out + static_cast<size_t>(gridRows) * gridCols, 0);
    if (cellRows <= 0 || cellBytes <= 0) return true;
    for (int32_t i = 0; i < gridRows; ++i) {
        int32_t* cells = out + static_cast<size_t>(i) * gridCols;
        for (int32_t y = i * cellRows; y < (i + 1) * cellRows; ++y) {
            const uint8_t* row = image.Row(y);
            for (int32_t j = 0; j < gridCols; ++j) {
                const uint8_t* p = row + static_cast<size_t>(j) * cellBytes;
                int32_t n = 0;
                for (int32_t k = 0; k < cellBytes; ++k) n += bits[p[k]];
                cells[j] += n;
            }
        }
    }
    return true;
}

// ---- CFilterGridInfo ----

CFilterGridInfo::CFilterGridInfo() { type = kFilterTypeGrid; }
CFilterGridInfo::~CFilterGridInfo() = default;

const RecordTable<CFilterGridInfo>& CFilterGridInfo::Fields() {
    static const RecordTable<CFilterGridInfo> table{
        u"GridFilterInfo",
        {IntField(u"Row", &CFilterGridInfo::ruleRows).On(u"GridRule", WrittenWhen::kAllPositive),
         IntField(u"Col", &CFilterGridInfo::ruleCols).On(u"GridRule", WrittenWhen::kAllPositive),
         CopiedField<&CFilterGridInfo::rows>(), CopiedField<&CFilterGridInfo::cols>(),
         CopiedField<&CFilterGridInfo::averDensity>(), CopiedField<&CFilterGridInfo::densities>(),
         CopiedField<&CFilterGridInfo::densityCount>()}};
    return table;
}

void CFilterGridInfo::Assign(const CFilterInfoBase& other) {
    if (&other == this || !AssignKindFields(*this, other)) return;
    CFilterInfoBase::Assign(other);
}

bool CFilterGridInfo::ParseGridRow(const std::u16string& text, int32_t count, int32_t* out) {
    const size_t n = text.size();
    if (n == 0 || count <= 0) return false;
    int32_t found = 0;
    auto take = [&](size_t begin, size_t end) {
        if (found >= count) return false;  // more tokens than columns
        out[found++] = CXmlDocument::ParseInt(text.substr(begin, end - begin));
        return true;
    };
    // The first character is never a separator; a trailing comma adds no
    // token.
    size_t start = 0;
    for (size_t i = 1; i < n; ++i) {
        if (text[i] != u',') continue;
        if (!take(start, i)) return false;
        start = i + 1;
    }
    if (start < n && !take(start, n)) return false;
    return found == count;
}

bool CFilterGridInfo::ReadXml(CXmlDocument& xml) {
    ReadRegion(xml);
    ReadChildren(*this, Fields(), xml);
    if (!xml.FindElement(u"GridDataList")) return true;
    rows = xml.ReadIntAttribute(u"Row");
    cols = xml.ReadIntAttribute(u"Col");
    averDensity = xml.ReadIntAttribute(u"AverDensity");
    if (rows <= 0 || cols <= 0 || rows > kMaxGridSide || cols > kMaxGridSide) return false;
    std::vector<int32_t> grid;
    try {
        grid.assign(static_cast<size_t>(rows) * cols, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    densities.swap(grid);
    densityCount = rows * cols;
    if (!xml.EnterElement()) return true;
    bool ok = true;
    for (int32_t i = 0; i < rows && ok; ++i) {
        if (!xml.FindElement(u"GridData")) continue;
        ok = ParseGridRow(xml.ReadText(), cols, densities.data() + static_cast<size_t>(i) * cols);
    }
    xml.LeaveElement();
    return ok;
}

bool CFilterGridInfo::WriteXml(CXmlDocument& xml) const {
    if (!WriteRegion(xml) || !WriteChildren(*this, Fields(), xml)) return false;
    if (densities.empty() || rows <= 0 || cols <= 0) return true;
    if (static_cast<int64_t>(rows) * cols > static_cast<int64_t>(densities.size())) return false;
    if (!xml.AppendElement(u"GridDataList") || !xml.WriteAttribute(u"Row", rows) ||
        !xml.WriteAttribute(u"Col", cols) || !xml.WriteAttribute(u"AverDensity", averDensity) ||
        !xml.EnterElement())
        return false;
    std::u16string text;
    for (int32_t i = 0; i < rows; ++i) {
        text.clear();
        for (int32_t j = 0; j < cols; ++j) {
            if (j) text += u',';
            const std::string digits = std::to_string(densities[static_cast<size_t>(i) * cols + j]);
            text.append(digits.begin(), digits.end());
        }
        if (!xml.AppendElement(u"GridData") || !xml.WriteText(text)) {
            xml.LeaveElement();
            return false;
        }
    }
    return xml.LeaveElement();
}

int32_t CFilterGridInfo::Compare(CFilterInfoBase* reference) {
    const auto* ref = dynamic_cast<const CFilterGridInfo*>(reference);
    if (!ref) return 0;
    const int32_t nr = std::min(rows, ref->rows);
    const int32_t nk = std::min(cols, ref->cols);
    // Products of two 32-bit counts are exact in the 64-bit mantissa.
    long double sxy = 0, sxx = 0, syy = 0;
    if (nr > 0 && nk > 0 && densities.size() >= static_cast<size_t>(rows) * cols &&
        ref->densities.size() >= static_cast<size_t>(ref->rows) * ref->cols) {
        for (int32_t i = 0; i < nr; ++i)
            for (int32_t j = 0; j < nk; ++j) {
                const long double x = densities[static_cast<size_t>(i) * cols + j];
                const long double y = ref->densities[static_cast<size_t>(i) * ref->cols + j];
                sxy += x * y;
                sxx += x * x;
                syy += y * y;
            }
    }
    const long double norm = sxx * syy;
    if (norm == 0) return 0;
    long double cosine = sxy / std::sqrt(norm);
    const int64_t a = averDensity, b = ref->averDensity;
    const int64_t smaller = std::min(a, b);
    const int64_t diff = a > b ? a - b : b - a;
    if (diff != 0) {
        // A zero density against a positive one gives an infinite ratio.
        const long double q = smaller == 0 ? INFINITY : static_cast<long double>(diff) / smaller;
        if (q > 5) cosine = std::isinf(q) ? 0 : cosine / q;
    }
    const long double score = std::trunc(cosine * 1000);
    // Negative counts exist only in broken files; scores stay in 0..1000.
    return static_cast<int32_t>(std::clamp<long double>(score, 0, 1000));
}

// ---- CFilterGrid ----

CFilterGrid::CFilterGrid() {
    type = kFilterTypeGrid;
    applicationType = 1;
}

void CFilterGrid::ListParameters(ParameterList& list) {
    BeginParameters(list, u"Grid Filter");
    CFilterBase::ListParameters(list);
}

int32_t CFilterGrid::Classify(const CRawImage& image, CTemplateGroup* group) {
    return ClassifyCommon(image, group, false);
}

std::unique_ptr<CFilterInfoBase> CFilterGrid::CreateFeature(const CRawImage* images, int32_t imageCount) {
    if (!images || imageCount <= 0 || !images[0].HasPixels()) return nullptr;
    return CFilterBase::CreateFeature(images, imageCount);
}

int32_t CFilterGrid::ExtractFeature(const CRawImage* images, int32_t imageCount, CFilterInfoBase* feature) {
    if (!images || imageCount <= 0 || !feature || !rule) return kErrInvalidParameter;
    if (feature->type != rule->type) return kErrInvalidParameter;
    auto* out = dynamic_cast<CFilterGridInfo*>(feature);
    const auto* ruleInfo = dynamic_cast<const CFilterGridInfo*>(rule.get());
    if (!out || !ruleInfo) return kErrInvalidParameter;
    const int32_t r = ruleInfo->ruleRows, k = ruleInfo->ruleCols;
    if (r <= 0 || k <= 0 || r > kMaxGridSide || k > kMaxGridSide) return kErrInvalidParameter;
    const size_t n = static_cast<size_t>(r) * k;
    std::vector<int64_t> sums;
    std::vector<int32_t> cells;
    try {
        sums.assign(n, 0);
        cells.assign(n, 0);
    } catch (const std::bad_alloc&) {
        return kErrInvalidParameter;
    }
    int64_t measured = 0;
    for (int32_t m = 0; m < imageCount; ++m) {
        CRawImage copy(images[m]);
        ApplyImageProcessingList(copy, steps.get());
        if (!copy.HasPixels() || !CountGridCells(copy, r, k, cells.data())) continue;
        for (size_t c = 0; c < n; ++c) sums[c] += cells[c];
        ++measured;
    }
    if (measured == 0) return kErrInvalidParameter;
    int64_t total = 0;
    std::vector<int32_t> averaged(n);
    for (size_t c = 0; c < n; ++c) {
        averaged[c] = static_cast<int32_t>(sums[c] / measured);
        total += averaged[c];
    }
    out->rows = r;
    out->cols = k;
    out->densityCount = static_cast<int32_t>(n);
    out->densities.swap(averaged);
    out->averDensity = static_cast<int32_t>(total / static_cast<int64_t>(n));
    out->refFilter = index;
    out->applicationType = applicationType;
    return kSuccess;
}

}  // namespace libMorvaneClassifier
