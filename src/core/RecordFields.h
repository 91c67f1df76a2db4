// XML-free parts of the template records' field tables: the kinds of field,
// when a child element carrying attributes is written, and the type helpers
// the table makers use (the record and child type of a member, whether a
// child is a list, whether it has content, deep copies). The tables
// themselves, which name the XML document the records are read from and
// written to, are in xml/RecordXml.h.
#pragma once
#include <cstdint>
#include <memory>
#include <string_view>
#include <type_traits>
#include <utility>

namespace libMorvaneClassifier {

enum class FieldKind : uint8_t {
    kInt,     // integer attribute (absent reads 0)
    kText,    // text attribute (absent reads empty)
    kPath,    // text attribute the owner prefixes with its directory after reading
    kChild,   // child element: a record or a list, held through a unique_ptr
    kInline,  // a record held through a unique_ptr whose attributes sit on this record's element
    kCopied,  // run-time value: copied, neither read, written nor listed
};

// When a child element that carries attributes of the record (`On`) is
// written; it is read whenever it is there.
enum class WrittenWhen : uint8_t {
    kAlways,
    kAllPositive,  // only when every integer on it is above 0
    kAllNonZero,   // only when every integer on it is not 0
};

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
// Other containers tell their length through Count() or GetCount().
template <class C, class = void>
struct HasCount : std::false_type {};
template <class C>
struct HasCount<C, std::void_t<decltype(std::declval<const C&>().Count())>> : std::true_type {};
template <class C, class = void>
struct HasGetCount : std::false_type {};
template <class C>
struct HasGetCount<C, std::void_t<decltype(std::declval<const C&>().GetCount())>> : std::true_type {};

// Whether a child has anything to write: a list or container its items, a
// record always.
template <class C>
bool HasContent(const C& child) {
    if constexpr (IsList<C>::value)
        return child.count > 0 && child.HasItems();
    else if constexpr (HasCount<C>::value)
        return child.Count() > 0;
    else if constexpr (HasGetCount<C>::value)
        return child.GetCount() > 0;
    else
        return true;
}

template <auto M>
using RecordOf = typename MemberOf<decltype(M)>::Record;
template <auto M>
using ChildOf = typename Pointee<typename MemberOf<decltype(M)>::Type>::Type;

template <class C>
void DeepCopy(std::unique_ptr<C>& to, const std::unique_ptr<C>& from) {
    if (!from) {
        to.reset();
        return;
    }
    auto copy = std::make_unique<C>();
    copy->Assign(*from);
    to = std::move(copy);
}

inline bool SameName(const char16_t* a, const char16_t* b) {
    if (!a || !b) return a == b;
    return std::u16string_view(a) == std::u16string_view(b);
}

}  // namespace record_detail

}  // namespace libMorvaneClassifier
