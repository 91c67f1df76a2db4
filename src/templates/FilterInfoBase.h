// Base of the filters' info records: a filter's rule (extraction
// parameters), a sub-template's reference record and a feature measured
// from an image are all records of the filter's kind. The template layer
// owns the abstract record and the kind table type (record makers keyed by
// filter type); the filters layer builds the table of its concrete kinds
// (FilterKinds()) and the loaders of sub-templates receive it.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/Geometry.h"
#include "core/ObjBase.h"
#include "templates/Anchor.h"
#include "xml/RecordXml.h"

namespace libMorvaneClassifier {

class CXmlDocument;

// Filter kinds: the "Type" of `Filter` and `FilterInfo` elements.
enum FilterType : int32_t {
    kFilterTypeSize = 1,
    kFilterTypeGrid = 2,
    kFilterTypeFrameLine = 3,
    kFilterTypeText = 4,
};

class CFilterInfoBase : public CObjBase {
public:
    CFilterInfoBase();
    ~CFilterInfoBase() override;
    CFilterInfoBase(const CFilterInfoBase&) = delete;
    CFilterInfoBase& operator=(const CFilterInfoBase&) = delete;

    int32_t type = -1;
    int32_t refFilter = -1;
    int32_t applicationType = 0;
    std::unique_ptr<CRegion> region;  // may be null
    int32_t imageWidth = 0;
    int32_t imageHeight = 0;
    // A sub-template's anchor list, attached only while a text feature is
    // measured or compared; not owned.
    const std::vector<CAnchor*>* anchors = nullptr;

    // "Type" and "RefFilter" (attributes of the `FilterInfo` element, read
    // by the list), the copied run-time fields and the region.
    static const RecordTable<CFilterInfoBase>& Fields();
    // Appends "Type" and "RefFilter"; each kind first clears the list and
    // appends its caption and own parameters, then calls this.
    void ListParameters(ParameterList& list) override;
    // Copies the base fields (the anchors reference included) and a deep copy
    // of the region. Kinds copy their own fields from a record of the same
    // kind, then call this.
    virtual void Assign(const CFilterInfoBase& other);
    // Reads the kind's own child elements inside a `Filter` or `FilterInfo`
    // element. Must return with the cursor at the level it was called on,
    // whether it succeeds or fails.
    virtual bool ReadXml(CXmlDocument& xml) = 0;
    virtual bool WriteXml(CXmlDocument& xml) const = 0;
    // Score 0..1000 of this feature against a reference record of the same
    // kind (0 for null).
    virtual int32_t Compare(CFilterInfoBase* reference) = 0;
    // Appends the anchors the record owns (text kind only).
    virtual void CollectAnchors(std::vector<CAnchor*>& list);
    // Stores the size and passes it to the region and to every attached anchor.
    virtual void SetImageSize(int32_t width, int32_t height);
    virtual bool LocateAnchors(CFilterInfoBase* feature);

    // Where the filter looks on the page, in pixels: none without a region;
    // the anchored rectangle when anchors are attached; otherwise the
    // region's pixel rectangle.
    std::optional<Rect32> EffectiveRegion() const;

protected:
    // A kind's descriptors: its caption and own fields from its table, then
    // the base entries.
    template <class K>
    void ListKindParameters(K& self, ParameterList& list) {
        ListFields(self, K::Fields(), list);
        CFilterInfoBase::ListParameters(list);
    }
    // Reads an optional `Region` at the cursor: kept, or none when missing.
    void ReadRegion(CXmlDocument& xml);
    bool WriteRegion(CXmlDocument& xml) const;
};

// Makes an empty record of one filter kind.
using FilterInfoMaker = std::unique_ptr<CFilterInfoBase> (*)();
// Filter type numbers a kind table holds (0..kMaxFilterInfoType).
constexpr int32_t kMaxFilterInfoType = 63;

// The record kinds a template loader can make, keyed by filter type. A
// value: the filters layer builds the one the library uses (FilterKinds())
// and the loaders receive it as a parameter, so no loader depends on a
// table someone must remember to fill.
class CFilterKinds {
public:
    CFilterKinds() = default;
    // This table with the maker for type set (replacing an earlier one; a
    // null maker removes the kind). A type outside the table leaves it as it
    // is; Has tells whether the kind was entered.
    CFilterKinds With(int32_t type, FilterInfoMaker make) const;
    bool Has(int32_t type) const;
    // A new record of the kind entered for type; null when none is.
    std::unique_ptr<CFilterInfoBase> Make(int32_t type) const;

private:
    FilterInfoMaker makers_[kMaxFilterInfoType + 1] = {};
};

// Copies the table fields of a record of kind K; false (nothing copied) for
// a record of another kind.
template <class K>
bool AssignKindFields(K& to, const CFilterInfoBase& from) {
    const auto* same = dynamic_cast<const K*>(&from);
    if (!same) return false;
    CopyFields(to, *same, K::Fields());
    return true;
}

// The `FilterInfoList` of a sub-template and its stored-feature list.
class CFilterInfoList {
public:
    std::vector<std::unique_ptr<CFilterInfoBase>> items;
    int32_t count = 0;

    // Reads the list inside a `SubTemplate` element. Any failure (missing
    // element, unknown type, unreadable record, implausible size) returns
    // false; the caller then keeps no list.
    // Records are made through kinds.
    bool ReadFilterInfoList(CXmlDocument& xml, const CFilterKinds& kinds);
    CFilterInfoBase* Get(int32_t i) const;
    CFilterInfoBase* FindFilterInfo(int32_t refFilter) const;
    // Assigns feature to the record with the same refFilter, or appends a
    // new record of the feature's kind (made through kinds) assigned from it.
    void StoreFeature(const CFilterInfoBase& feature, const CFilterKinds& kinds);
    void Clear();
};

}  // namespace libMorvaneClassifier
