// The grid filter (type 2): counts the black pixels in every cell of a grid
// laid over the whole 1-bit page and compares the grid of counts with each
// child's stored grid by the cosine between the two.
#pragma once
#include <cstdint>
#include <vector>

#include "filters/FilterBase.h"
#include "templates/FilterInfoBase.h"

namespace libMorvaneClassifier {

// Largest number of grid rows or columns a rule or a stored grid may have;
// larger values are malformed.
constexpr int32_t kMaxGridSide = 4096;

class CFilterGridInfo : public CFilterInfoBase {
public:
    CFilterGridInfo();
    ~CFilterGridInfo() override;

    // "Row" and "Col" of the rule (listed), the grid (copied).
    static const RecordTable<CFilterGridInfo>& Fields();
    // "GridFilterInfo", "Row" and "Col" of the rule, then the base entries.
    void ListParameters(ParameterList& list) override { ListKindParameters(*this, list); }
    // Copies the rule, the grid and a copy of the counts, then the base.
    void Assign(const CFilterInfoBase& other) override;
    // Optional `Region`, `GridRule` and `GridDataList`, in this order. False
    // only for a bad `GridDataList`: "Row" or "Col" not in 1..4096, or a
    // `GridData` row that does not hold exactly "Col" numbers. The cursor is
    // back at the calling level either way.
    bool ReadXml(CXmlDocument& xml) override;
    bool WriteXml(CXmlDocument& xml) const override;
    // Cosine of the overlapping top-left block of the two grids, times 1000,
    // divided by the density ratio when the mean counts differ by more than
    // a factor of six. 0 for a null or empty reference.
    int32_t Compare(CFilterInfoBase* reference) override;

    // Parses one `GridData` text into `cols` counts; false when it does not
    // hold exactly `cols` numbers (or is empty).
    static bool ParseGridRow(const std::u16string& text, int32_t cols, int32_t* out);

    int32_t ruleRows = 0;            // "Row" of `GridRule`
    int32_t ruleCols = 0;            // "Col" of `GridRule`
    int32_t rows = 0;                // "Row" of `GridDataList`
    int32_t cols = 0;                // "Col" of `GridDataList`
    int32_t averDensity = 0;         // "AverDensity": mean cell count
    std::vector<int32_t> densities;  // cell (i, j) at i * cols + j; empty = none
    int32_t densityCount = 0;
};

class CFilterGrid : public CFilterBase {
public:
    CFilterGrid();
    void ListParameters(ParameterList& list) override;
    int32_t Classify(const CRawImage& image, CTemplateGroup* group) override;
    // Null when the first image has no pixels or imageCount <= 0.
    std::unique_ptr<CFilterInfoBase> CreateFeature(const CRawImage* images, int32_t imageCount) override;
    // Averages the cell counts of the images (each after the filter's own
    // steps, on a copy) into feature. -61 for missing arguments, a feature of
    // another kind, a rule without a usable grid size (rows or columns not
    // in 1..4096) or when no image is 1-bit with pixels after the steps.
    int32_t ExtractFeature(const CRawImage* images, int32_t imageCount, CFilterInfoBase* feature) override;
};

// Counts the black pixels of a 1-bit image in a grid of gridRows x gridCols
// cells: cells are height / gridRows rows high and bytesPerRow / gridCols
// bytes wide (row padding bytes included); rows and bytes beyond the last
// whole cell belong to no cell. out receives gridRows * gridCols counts, row
// by row. False (out untouched) when the image is not 1-bit with pixels or
// the grid size is not in 1..4096.
bool CountGridCells(const CRawImage& image, int32_t gridRows, int32_t gridCols, int32_t* out);

}  // namespace libMorvaneClassifier
