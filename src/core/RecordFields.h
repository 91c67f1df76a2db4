// Field tables of the template records. A record lists its fields once, in
// the order its element carries them: the attribute name, the member, the
// kind (integer, text, path, child record or list, or a run-time value that
// is only copied) and how an editor shows it. Reading, writing, the
// parameter descriptors and copying all walk that one table.
//
// The XML document type is a template parameter so that this header needs
// nothing above the object base: the record's own source file, which
// includes the document, instantiates the walks.
#pragma once
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/ObjBase.h"

namespace libMorvaneClassifier {

enum class FieldKind : uint8_t {
    kInt,      // integer attribute (absent reads 0)
    kText,     // text attribute (absent reads empty)
    kPath,     // text attribute the owner prefixes with its directory after reading
    kChild,    // child element: a record or a list, held through a unique_ptr
    kCopied,   // run-time value: copied, neither read, written nor listed
};

class CXmlDocument;

// The walks of one child element.
template <class R>
struct FieldOps {
    // Reads the child at the cursor (inside the parent) and keeps it when it
    // can be read.
    void (*read)(R& record, CXmlDocument& xml) = nullptr;
    bool (*write)(const R& record, CXmlDocument& xml) = nullptr;
    // Whether the child has anything to write.
    bool (*present)(const R& record) = nullptr;
    void (*reset)(R& record) = nullptr;
};

template <class R>
struct RecordField {
    const char16_t* name = nullptr;  // attribute or child element name
    FieldKind kind = FieldKind::kInt;
    int32_t editorKind = kParamInteger;
    bool listed = true;     // among the parameter descriptors
    bool inElement = true;  // an attribute of the record's element (else only listed and copied)
    int32_t listedAt = 0;   // 1-based place among the descriptors; 0: table order
    int32_t R::*intMember = nullptr;
    std::u16string R::*textMember = nullptr;
    void* (*address)(R& record) = nullptr;  // child fields: the member itself
    void (*copy)(R& to, const R& from) = nullptr;
    const FieldOps<R>* ops = nullptr;       // child fields

    RecordField Listed(int32_t place) const {
        RecordField f = *this;
        f.listedAt = place;
        return f;
    }
    RecordField Unlisted() const {
        RecordField f = *this;
        f.listed = false;
        return f;
    }
    // A field the editor lists that the record's element does not carry.
    RecordField NotInElement() const {
        RecordField f = *this;
        f.inElement = false;
        return f;
    }
};

template <class R>
struct RecordTable {
    const char16_t* element;  // the record's element name, first descriptor
    std::vector<RecordField<R>> fields;
};

// ---- field makers ----------------------------------------------------------

template <class R, class T>
RecordField<R> ValueField(const char16_t* name, T R::*member, FieldKind kind, int32_t editorKind) {
    RecordField<R> f;
    f.name = name;
    f.kind = kind;
    f.editorKind = editorKind;
    if constexpr (std::is_same_v<T, int32_t>)
        f.intMember = member;
    else
        f.textMember = member;
    return f;
}

template <class R>
RecordField<R> IntField(const char16_t* name, int32_t R::*member, int32_t editorKind = kParamInteger) {
    return ValueField(name, member, FieldKind::kInt, editorKind);
}

template <class R>
RecordField<R> TextField(const char16_t* name, std::u16string R::*member, int32_t editorKind = kParamText) {
    return ValueField(name, member, FieldKind::kText, editorKind);
}

template <class R>
RecordField<R> PathField(const char16_t* name, std::u16string R::*member) {
    return ValueField(name, member, FieldKind::kPath, kParamPath);
}

namespace record_detail {

template <class M>
struct MemberOf;
template <class R, class T>
struct MemberOf<T R::*> {
    using Record = R;
    using Type = T;
};

template <class P>
struct Pointee;
template <class C>
struct Pointee<std::unique_ptr<C>> {
    using Type = C;
};

// A list type offers `items` and `count`; a record does not.
template <class C, class = void>
struct IsList : std::false_type {};
template <class C>
struct IsList<C, std::void_t<decltype(std::declval<C&>().items), decltype(std::declval<C&>().count)>>
    : std::true_type {};

template <auto M>
using RecordOf = typename MemberOf<decltype(M)>::Record;
template <auto M>
using ChildOf = typename Pointee<typename MemberOf<decltype(M)>::Type>::Type;

template <auto M>
const FieldOps<RecordOf<M>>& ChildOps() {
    using R = RecordOf<M>;
    using C = ChildOf<M>;
    static const FieldOps<R> ops = [] {
        FieldOps<R> o;
        o.read = [](R& r, CXmlDocument& xml) {
            auto child = std::make_unique<C>();
            if (child->Read(xml)) r.*M = std::move(child);
        };
        o.write = [](const R& r, CXmlDocument& xml) { return !(r.*M) || (r.*M)->Write(xml); };
        o.present = [](const R& r) {
            if constexpr (IsList<C>::value)
                return r.*M && (r.*M)->count > 0 && (r.*M)->HasItems();
            else
                return static_cast<bool>(r.*M);
        };
        o.reset = [](R& r) { (r.*M).reset(); };
        return o;
    }();
    return ops;
}

}  // namespace record_detail

// A child record or list held through a unique_ptr member; copied deeply.
template <auto M>
RecordField<record_detail::RecordOf<M>> ChildField(const char16_t* name) {
    using R = record_detail::RecordOf<M>;
    using C = record_detail::ChildOf<M>;
    RecordField<R> f;
    f.name = name;
    f.kind = FieldKind::kChild;
    f.listed = false;
    f.address = [](R& r) -> void* { return &(r.*M); };
    f.ops = &record_detail::ChildOps<M>();
    f.copy = [](R& to, const R& from) {
        if (!(from.*M)) {
            (to.*M).reset();
            return;
        }
        auto copy = std::make_unique<C>();
        copy->Assign(*(from.*M));
        to.*M = std::move(copy);
    };
    return f;
}

// A run-time value of any copyable type: only copied.
template <auto M>
RecordField<record_detail::RecordOf<M>> CopiedField() {
    using R = record_detail::RecordOf<M>;
    RecordField<R> f;
    f.kind = FieldKind::kCopied;
    f.listed = false;
    f.copy = [](R& to, const R& from) { to.*M = from.*M; };
    return f;
}

// ---- walks -----------------------------------------------------------------

// Clears list and appends the element-name descriptor and one per listed
// field, in descriptor order.
template <class R>
void ListFields(R& record, const RecordTable<R>& table, ParameterList& list) {
    BeginParameters(list, table.element);
    AppendFieldParameters(record, table, list);
}

// Appends the listed fields' descriptors without clearing the list.
template <class R>
void AppendFieldParameters(R& record, const RecordTable<R>& table, ParameterList& list) {
    std::vector<std::pair<int32_t, const RecordField<R>*>> order;
    for (size_t i = 0; i < table.fields.size(); ++i) {
        const RecordField<R>& f = table.fields[i];
        if (!f.listed) continue;
        order.push_back({f.listedAt > 0 ? f.listedAt : static_cast<int32_t>(i) + 1, &f});
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& entry : order) {
        const RecordField<R>& f = *entry.second;
        void* value = f.intMember    ? static_cast<void*>(&(record.*f.intMember))
                      : f.textMember ? static_cast<void*>(&(record.*f.textMember))
                                     : f.address(record);
        AddParameter(list, f.name, value, f.editorKind);
    }
}

// Reads the attributes of the element at the cursor.
template <class R, class Xml>
void ReadAttributes(R& record, const RecordTable<R>& table, Xml& xml) {
    for (const RecordField<R>& f : table.fields) {
        if (!f.inElement) continue;
        if (f.kind == FieldKind::kInt)
            record.*f.intMember = xml.ReadIntAttribute(f.name);
        else if (f.kind == FieldKind::kText || f.kind == FieldKind::kPath)
            record.*f.textMember = xml.ReadAttribute(f.name);
    }
}

template <class R, class Xml>
bool WriteAttributes(const R& record, const RecordTable<R>& table, Xml& xml) {
    for (const RecordField<R>& f : table.fields) {
        if (!f.inElement) continue;
        if (f.kind == FieldKind::kInt) {
            if (!xml.WriteAttribute(f.name, record.*f.intMember)) return false;
        } else if (f.kind == FieldKind::kText || f.kind == FieldKind::kPath) {
            if (!xml.WriteAttribute(f.name, record.*f.textMember)) return false;
        }
    }
    return true;
}

// Finds the record's element among the following siblings and reads its
// attributes and child elements (children missing stay empty). False, with
// the record untouched, when the element is not there.
template <class R, class Xml>
bool ReadFields(R& record, const RecordTable<R>& table, Xml& xml) {
    if (!xml.FindElement(table.element)) return false;
    ReadAttributes(record, table, xml);
    bool hasChildren = false;
    for (const RecordField<R>& f : table.fields) {
        if (f.kind != FieldKind::kChild) continue;
        f.ops->reset(record);
        hasChildren = true;
    }
    if (hasChildren && xml.EnterElement()) {
        for (const RecordField<R>& f : table.fields)
            if (f.kind == FieldKind::kChild) f.ops->read(record, xml);
        xml.LeaveElement();
    }
    return true;
}

// Appends the record's element with its attributes and, when any child has
// something to write, its child elements.
template <class R, class Xml>
bool WriteFields(const R& record, const RecordTable<R>& table, Xml& xml) {
    if (!xml.AppendElement(table.element) || !WriteAttributes(record, table, xml)) return false;
    bool any = false;
    for (const RecordField<R>& f : table.fields)
        if (f.kind == FieldKind::kChild && f.ops->present(record)) any = true;
    if (!any) return true;
    if (!xml.EnterElement()) return false;
    for (const RecordField<R>& f : table.fields)
        if (f.kind == FieldKind::kChild && !f.ops->write(record, xml))
            return false;
    return xml.LeaveElement();
}

// Copies every field, run-time ones and deep copies of children included.
template <class R>
void CopyFields(R& to, const R& from, const RecordTable<R>& table) {
    if (&to == &from) return;
    for (const RecordField<R>& f : table.fields) {
        if (f.intMember)
            to.*f.intMember = from.*f.intMember;
        else if (f.textMember)
            to.*f.textMember = from.*f.textMember;
        else
            f.copy(to, from);
    }
}

// Base of the records whose element is described wholly by their table:
// D provides `static const RecordTable<D>& Fields();`.
template <class D>
class CTableRecord : public CObjBase {
public:
    void ListParameters(ParameterList& list) override { ListFields(Self(), D::Fields(), list); }
    template <class Xml>
    bool Read(Xml& xml) {
        return ReadFields(Self(), D::Fields(), xml);
    }
    template <class Xml>
    bool Write(Xml& xml) const {
        return WriteFields(static_cast<const D&>(*this), D::Fields(), xml);
    }
    void Assign(const D& other) { CopyFields(Self(), other, D::Fields()); }

private:
    D& Self() { return static_cast<D&>(*this); }
};

}  // namespace libMorvaneClassifier
