// Field tables of the template records. A record lists its fields once, in
// the order its element carries them: the attribute name, the member, the
// kind (integer, text, path, child record or list, a record whose attributes
// sit on this element, or a run-time value that is only copied) and how an
// editor shows it. A value may also live on a child element of its own: as
// an attribute of a small child element (`On`), or as the text of one
// (`AsText`). Reading, writing, the parameter descriptors and copying all
// walk that one table.
//
// The tables name the XML document through the child fields' read and write
// walks, so they live in the xml layer. The walks take the document as a
// template parameter so that this header needs no more than a declaration
// of it: the record's own source file, which includes the document,
// instantiates them. The XML-free kinds and type helpers are in
// core/RecordFields.h.
#pragma once
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/ObjBase.h"
#include "core/RecordFields.h"

namespace libMorvaneClassifier {

class CXmlDocument;

// The walks of one child element (kChild) or inline record (kInline).
template <class R>
struct FieldOps {
    // Child: reads the child at the cursor (inside the parent) and keeps it
    // when it can be read. Inline: reads a new record from the attributes of
    // the element at the cursor.
    void (*read)(R& record, CXmlDocument& xml) = nullptr;
    // Child: appends the child element. Inline: writes the record's
    // attributes onto the element at the cursor. Nothing (true) without one.
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
    bool asText = false;    // text fields: the text of a child element `name` (required when read)
    int32_t listedAt = 0;   // 1-based place among the descriptors; 0: table order
    // Value fields: the child element that carries the attribute (null: the
    // record's own element). Neighbouring fields naming the same element
    // share one; `written` of the first of them says when it is written.
    const char16_t* on = nullptr;
    WrittenWhen written = WrittenWhen::kAlways;
    int32_t R::*intMember = nullptr;
    std::u16string R::*textMember = nullptr;
    void* (*address)(R& record) = nullptr;  // child fields: the member itself
    void (*copy)(R& to, const R& from) = nullptr;
    const FieldOps<R>* ops = nullptr;  // child fields

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
    // An attribute of the child element `element` instead of the record's own.
    RecordField On(const char16_t* element, WrittenWhen when = WrittenWhen::kAlways) const {
        RecordField f = *this;
        f.on = element;
        f.written = when;
        return f;
    }
    // A text or path held as the text of the child element named like the field.
    RecordField AsText() const {
        RecordField f = *this;
        f.asText = true;
        return f;
    }
};

template <class R>
struct RecordTable {
    // The record's element name, and the first descriptor unless `caption`
    // is set. Null: the record has no element of its own (a placeholder:
    // nothing is read, written or listed).
    const char16_t* element;
    std::vector<RecordField<R>> fields;
    const char16_t* caption = nullptr;  // first descriptor when it is not the element name
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
RecordField<R> PathField(const char16_t* name, std::u16string R::*member, int32_t editorKind = kParamPath) {
    return ValueField(name, member, FieldKind::kPath, editorKind);
}

namespace record_detail {

template <auto M, class R>
const FieldOps<R>& ChildOps() {
    using C = ChildOf<M>;
    static const FieldOps<R> ops = [] {
        FieldOps<R> o;
        o.read = [](R& r, CXmlDocument& xml) {
            auto child = std::make_unique<C>();
            if (child->Read(xml)) r.*M = std::move(child);
        };
        o.write = [](const R& r, CXmlDocument& xml) { return !(r.*M) || (r.*M)->Write(xml); };
        o.present = [](const R& r) { return r.*M && HasContent(*(r.*M)); };
        o.reset = [](R& r) { (r.*M).reset(); };
        return o;
    }();
    return ops;
}

template <auto M, class R>
const FieldOps<R>& InlineOps() {
    using C = ChildOf<M>;
    static const FieldOps<R> ops = [] {
        FieldOps<R> o;
        o.read = [](R& r, CXmlDocument& xml) {
            auto inner = std::make_unique<C>();
            ReadAttributes(*inner, C::Fields(), xml);
            r.*M = std::move(inner);
        };
        o.write = [](const R& r, CXmlDocument& xml) {
            return !(r.*M) || WriteAttributes(*(r.*M), C::Fields(), xml);
        };
        o.present = [](const R& r) { return static_cast<bool>(r.*M); };
        o.reset = [](R& r) { (r.*M).reset(); };
        return o;
    }();
    return ops;
}

}  // namespace record_detail

// The makers below take the member; R, the record the table describes, is
// the member's class unless given (a member a record inherits from a base).

// A child record or list held through a unique_ptr member; copied deeply.
template <auto M, class R = record_detail::RecordOf<M>>
RecordField<R> ChildField(const char16_t* name) {
    using C = record_detail::ChildOf<M>;
    RecordField<R> f;
    f.name = name;
    f.kind = FieldKind::kChild;
    f.listed = false;
    f.address = [](R& r) -> void* { return &(r.*M); };
    f.ops = &record_detail::ChildOps<M, R>();
    f.copy = [](R& to, const R& from) { record_detail::DeepCopy<C>(to.*M, from.*M); };
    return f;
}

// A record held through a unique_ptr member whose fields (its own table) are
// attributes of this record's element: read into a new record whenever this
// element is read, written when present, copied deeply, not listed.
template <auto M, class R = record_detail::RecordOf<M>>
RecordField<R> InlineField() {
    using C = record_detail::ChildOf<M>;
    RecordField<R> f;
    f.kind = FieldKind::kInline;
    f.listed = false;
    f.address = [](R& r) -> void* { return &(r.*M); };
    f.ops = &record_detail::InlineOps<M, R>();
    f.copy = [](R& to, const R& from) { record_detail::DeepCopy<C>(to.*M, from.*M); };
    return f;
}

// A run-time value of any copyable type: only copied.
template <auto M, class R = record_detail::RecordOf<M>>
RecordField<R> CopiedField() {
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
    if (!table.element) return;  // a placeholder lists nothing and leaves the list
    BeginParameters(list, table.caption ? table.caption : table.element);
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

namespace record_detail {

template <class R>
bool IsValue(const RecordField<R>& f) {
    return f.kind == FieldKind::kInt || f.kind == FieldKind::kText || f.kind == FieldKind::kPath;
}

// An attribute of the record's own element.
template <class R>
bool IsOwnAttribute(const RecordField<R>& f) {
    return f.inElement && !f.on && !f.asText && IsValue(f);
}

// Whether the field lives on a child element of the record.
template <class R>
bool IsChildElement(const RecordField<R>& f) {
    return f.kind == FieldKind::kChild || (f.inElement && IsValue(f) && (f.on || f.asText));
}

// The end of the run of fields from `begin` that share the child element
// `fields[begin].on`.
template <class R>
size_t GroupEnd(const std::vector<RecordField<R>>& fields, size_t begin) {
    size_t end = begin + 1;
    while (end < fields.size() && fields[end].on && SameName(fields[end].on, fields[begin].on)) ++end;
    return end;
}

template <class R>
bool GroupWritten(const R& record, const std::vector<RecordField<R>>& fields, size_t begin, size_t end) {
    const WrittenWhen when = fields[begin].written;
    if (when == WrittenWhen::kAlways) return true;
    for (size_t i = begin; i < end; ++i) {
        if (!fields[i].intMember) continue;
        const int32_t v = record.*fields[i].intMember;
        if (when == WrittenWhen::kAllPositive ? v <= 0 : v == 0) return false;
    }
    return true;
}

template <class R, class Xml>
void ReadValue(R& record, const RecordField<R>& f, const Xml& xml) {
    if (f.kind == FieldKind::kInt)
        record.*f.intMember = xml.ReadIntAttribute(f.name);
    else
        record.*f.textMember = xml.ReadAttribute(f.name);
}

template <class R, class Xml>
bool WriteValue(const R& record, const RecordField<R>& f, Xml& xml) {
    if (f.kind == FieldKind::kInt) return xml.WriteAttribute(f.name, record.*f.intMember);
    return xml.WriteAttribute(f.name, record.*f.textMember);
}

}  // namespace record_detail

// Reads the attributes of the element at the cursor (and the records whose
// attributes sit on it).
template <class R, class Xml>
void ReadAttributes(R& record, const RecordTable<R>& table, Xml& xml) {
    for (const RecordField<R>& f : table.fields) {
        if (record_detail::IsOwnAttribute(f))
            record_detail::ReadValue(record, f, xml);
        else if (f.kind == FieldKind::kInline)
            f.ops->read(record, xml);
    }
}

template <class R, class Xml>
bool WriteAttributes(const R& record, const RecordTable<R>& table, Xml& xml) {
    for (const RecordField<R>& f : table.fields) {
        if (record_detail::IsOwnAttribute(f)) {
            if (!record_detail::WriteValue(record, f, xml)) return false;
        } else if (f.kind == FieldKind::kInline) {
            if (!f.ops->write(record, xml)) return false;
        }
    }
    return true;
}

// Reads the record's child elements at the level of the cursor, in table
// order, each searched among the following siblings: a child record or list
// is kept when it can be read (else none); an element carrying attributes
// is read when it is there (else its fields keep their values). False when
// the element of a text held as element text is missing (the walk stops).
template <class R, class Xml>
bool ReadChildren(R& record, const RecordTable<R>& table, Xml& xml) {
    const auto& fields = table.fields;
    for (size_t i = 0; i < fields.size(); ++i) {
        const RecordField<R>& f = fields[i];
        if (!record_detail::IsChildElement(f)) continue;
        if (f.kind == FieldKind::kChild) {
            f.ops->reset(record);
            f.ops->read(record, xml);
        } else if (f.asText) {
            if (!xml.FindElement(f.name)) return false;
            record.*f.textMember = xml.ReadText();
        } else {
            const size_t end = record_detail::GroupEnd(fields, i);
            if (xml.FindElement(f.on))
                for (size_t k = i; k < end; ++k) record_detail::ReadValue(record, fields[k], xml);
            i = end - 1;
        }
    }
    return true;
}

// Whether WriteChildren has anything to write.
template <class R>
bool HasChildContent(const R& record, const RecordTable<R>& table) {
    const auto& fields = table.fields;
    for (size_t i = 0; i < fields.size(); ++i) {
        const RecordField<R>& f = fields[i];
        if (!record_detail::IsChildElement(f)) continue;
        if (f.kind == FieldKind::kChild) {
            if (f.ops->present(record)) return true;
        } else if (f.asText) {
            return true;
        } else {
            const size_t end = record_detail::GroupEnd(fields, i);
            if (record_detail::GroupWritten(record, fields, i, end)) return true;
            i = end - 1;
        }
    }
    return false;
}

// Appends the record's child elements at the level of the cursor, in table
// order; an element carrying attributes only when its `written` rule holds.
template <class R, class Xml>
bool WriteChildren(const R& record, const RecordTable<R>& table, Xml& xml) {
    const auto& fields = table.fields;
    for (size_t i = 0; i < fields.size(); ++i) {
        const RecordField<R>& f = fields[i];
        if (!record_detail::IsChildElement(f)) continue;
        if (f.kind == FieldKind::kChild) {
            if (!f.ops->write(record, xml)) return false;
        } else if (f.asText) {
            if (!xml.AppendElement(f.name) || !xml.WriteText(record.*f.textMember)) return false;
        } else {
            const size_t end = record_detail::GroupEnd(fields, i);
            if (record_detail::GroupWritten(record, fields, i, end)) {
                if (!xml.AppendElement(f.on)) return false;
                for (size_t k = i; k < end; ++k)
                    if (!record_detail::WriteValue(record, fields[k], xml)) return false;
            }
            i = end - 1;
        }
    }
    return true;
}

// Finds the record's element among the following siblings and reads its
// attributes and child elements (children missing stay empty). False, with
// the record untouched, when the element is not there, and false too when
// a required element-text child is missing. A placeholder record (no
// element) reads nothing and succeeds.
template <class R, class Xml>
bool ReadFields(R& record, const RecordTable<R>& table, Xml& xml) {
    if (!table.element) return true;
    if (!xml.FindElement(table.element)) return false;
    ReadAttributes(record, table, xml);
    bool hasChildren = false;
    for (const RecordField<R>& f : table.fields) {
        if (!record_detail::IsChildElement(f)) continue;
        if (f.kind == FieldKind::kChild) f.ops->reset(record);
        hasChildren = true;
    }
    if (!hasChildren || !xml.EnterElement()) return true;
    const bool ok = ReadChildren(record, table, xml);
    xml.LeaveElement();
    return ok;
}

// Appends the record's element with its attributes and, when any child has
// something to write, its child elements. A placeholder writes nothing.
template <class R, class Xml>
bool WriteFields(const R& record, const RecordTable<R>& table, Xml& xml) {
    if (!table.element) return true;
    if (!xml.AppendElement(table.element) || !WriteAttributes(record, table, xml)) return false;
    if (!HasChildContent(record, table)) return true;
    if (!xml.EnterElement() || !WriteChildren(record, table, xml)) return false;
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
