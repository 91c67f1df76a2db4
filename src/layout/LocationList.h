// The list convention of the location records: a list element with a
// "Size" attribute followed by that many item elements. A slot whose item
// element is missing holds an item with constructor values, so a list always
// has exactly its declared number of items.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "core/ObjList.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

// T provides:
//   static constexpr char16_t kListElement[]
//   bool Read(CXmlDocument&)          false only when T's element is missing
//   bool Write(CXmlDocument&) const
//   void Assign(const T&)
template <class T>
class CLocationList {
public:
    // A declared size above this makes the list malformed: a few bytes of a
    // template file must not make the reader create a billion records.
    static constexpr int32_t kMaxDeclared = 100000;

    std::vector<std::unique_ptr<T>> items;  // never holds null

    int32_t Count() const { return static_cast<int32_t>(items.size()); }
    // The item at i; null for i outside [0, Count()).
    T* Get(int32_t i) const {
        if (i < 0 || i >= Count()) return nullptr;
        return items[static_cast<size_t>(i)].get();
    }
    void Clear() { items.clear(); }
    void Append(std::unique_ptr<T> item) {
        if (item) items.push_back(std::move(item));
    }

    // Reads the list element among the following siblings of the cursor.
    // False when it is missing, declares more than kMaxDeclared items or
    // more than the document's open slot budget still allows; a "Size" <= 0
    // (or absent) gives an empty list. The cursor is back at the list
    // element's level afterwards.
    bool Read(CXmlDocument& xml) {
        Clear();
        if (!xml.FindElement(T::kListElement)) return false;
        const int32_t n = xml.ReadIntAttribute(u"Size");
        if (n <= 0) return true;
        if (n > kMaxDeclared || !CDeclaredSlotBudget::Take(n)) return false;
        if (!xml.EnterElement()) return false;
        items.reserve(static_cast<size_t>(n));
        bool exhausted = false;  // once an item element is missing, all later ones are too
        for (int32_t i = 0; i < n; ++i) {
            auto item = std::make_unique<T>();
            if (!exhausted && !item->Read(xml)) {
                exhausted = true;
                item = std::make_unique<T>();  // a failed read may have left partial values
            }
            items.push_back(std::move(item));
        }
        xml.LeaveElement();
        return true;
    }

    // Nothing is written (success) for an empty list.
    bool Write(CXmlDocument& xml) const {
        if (items.empty()) return true;
        if (!xml.AppendElement(T::kListElement)) return false;
        if (!xml.WriteAttribute(u"Size", Count())) return false;
        if (!xml.EnterElement()) return false;
        for (const auto& item : items)
            if (!item->Write(xml)) return false;
        return xml.LeaveElement();
    }

    // Deep copy; assigning a list to itself changes nothing.
    void Assign(const CLocationList& other) {
        if (&other == this) return;
        std::vector<std::unique_ptr<T>> copy;
        copy.reserve(other.items.size());
        for (const auto& item : other.items) {
            auto c = std::make_unique<T>();
            c->Assign(*item);
            copy.push_back(std::move(c));
        }
        items = std::move(copy);
    }
};

// Reads an owner's list through a new list object: the list on success,
// null when the read fails (the owner then keeps no list).
template <class L>
std::unique_ptr<L> ReadLocationList(CXmlDocument& xml) {
    auto list = std::make_unique<L>();
    if (!list->Read(xml)) return nullptr;
    return list;
}

// Deep copy of an owner's list (null stays null).
template <class L>
std::unique_ptr<L> CopyLocationList(const L* source) {
    if (!source) return nullptr;
    auto list = std::make_unique<L>();
    list->Assign(*source);
    return list;
}

}  // namespace libMorvaneClassifier
