// What the line and the character location records share: the property's
// reference size, the method record (an analyser type and the steps of the
// method's own image copy) and the location record's property, method list
// and reference size.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "layout/LocationList.h"
#include "preprocess/ImageProcessingList.h"
#include "xml/RecordXml.h"

namespace libMorvaneClassifier {

// Scales a page length in ten-thousandths to pixels of a reference size
// (multiplication first, 64-bit, clamped to the 32-bit range).
int32_t PageLengthToPixels(int32_t reference, int32_t tenThousandths);

// A location property D: expected sizes of what is located, in
// ten-thousandths of the reference size last given to SetImageSize. D's
// table is built with PropertyFields.
template <class D>
class CLocationProperty : public CTableRecord<D> {
public:
    int32_t refWidth = 0;
    int32_t refHeight = 0;

    void SetImageSize(int32_t width, int32_t height) {
        refWidth = width;
        refHeight = height;
    }

protected:
    // D's attributes, then the reference size (copied only).
    static std::vector<RecordField<D>> PropertyFields(std::initializer_list<RecordField<D>> own) {
        std::vector<RecordField<D>> fields(own);
        fields.push_back(CopiedField<&CLocationProperty::refWidth, D>());
        fields.push_back(CopiedField<&CLocationProperty::refHeight, D>());
        return fields;
    }
    // Pixels of a length in ten-thousandths of the reference width or height.
    int32_t WidthPx(int32_t length) const { return PageLengthToPixels(refWidth, length); }
    int32_t HeightPx(int32_t length) const { return PageLengthToPixels(refHeight, length); }
};

// One way of locating: an analyser type and the preprocessing applied to the
// method's own copy of the image. Kind names the elements and the editor
// kind of "Type". Read is false (and nothing read) when no method element
// follows the cursor; Write fails when the steps cannot be written.
template <class Kind>
class CLocationMethod : public CTableRecord<CLocationMethod<Kind>> {
public:
    static constexpr const char16_t* kElement = Kind::kElement;
    static constexpr const char16_t* kListElement = Kind::kListElement;

    int32_t type = 3;
    std::unique_ptr<CImageProcessingList> steps;  // null: no steps

    static const RecordTable<CLocationMethod>& Fields() {
        static const RecordTable<CLocationMethod> table{
            Kind::kElement,
            {IntField(u"Type", &CLocationMethod::type, Kind::kEditorKind),
             ChildField<&CLocationMethod::steps>(u"ImageProcessingList")}};
        return table;
    }
};

// A location record D: its property (attributes of D's element), its method
// list and the reference size every pixel limit derives from. D's table is
// built with LocationFields.
template <class D, class Property, class Method>
class CLocationInfo : public CTableRecord<D> {
public:
    std::unique_ptr<Property> property;              // null until read
    std::unique_ptr<CLocationList<Method>> methods;  // null: nothing can be located
    int32_t refWidth = 0;
    int32_t refHeight = 0;

    // Reads D's element; the property read gets the reference size.
    template <class Xml>
    bool Read(Xml& xml) {
        if (!CTableRecord<D>::Read(xml)) return false;
        if (property) property->SetImageSize(refWidth, refHeight);
        return true;
    }
    // Stores the reference size here and in the property. Must precede every
    // location: every pixel limit derives from it.
    void SetImageSize(int32_t width, int32_t height) {
        refWidth = width;
        refHeight = height;
        if (property) property->SetImageSize(width, height);
    }

protected:
    // D's fields: the property, D's own fields, the method list and the
    // reference size (copied only).
    static std::vector<RecordField<D>> LocationFields(std::initializer_list<RecordField<D>> own) {
        std::vector<RecordField<D>> fields{InlineField<&CLocationInfo::property, D>()};
        fields.insert(fields.end(), own.begin(), own.end());
        fields.push_back(ChildField<&CLocationInfo::methods, D>(Method::kListElement));
        fields.push_back(CopiedField<&CLocationInfo::refWidth, D>());
        fields.push_back(CopiedField<&CLocationInfo::refHeight, D>());
        return fields;
    }
};

}  // namespace libMorvaneClassifier
