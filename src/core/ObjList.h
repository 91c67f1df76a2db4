// The list convention of template files: a list element (its name ends in
// "List") whose "Size" attribute declares the number of slots, followed by
// the item elements. A list keeps its declared length; a slot whose element
// is missing stays empty (or, for item kinds that say so, holds an item with
// constructor values).
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

namespace libMorvaneClassifier {

// Declared counts above this are treated as a malformed list: a small file
// must not make the reader allocate gigabytes.
constexpr int32_t kMaxDeclaredCount = 100000;

// Bounds the total of the declared list lengths that one template file may
// make the readers allocate: a few hundred bytes of lists that each declare
// just under the per-list limit would otherwise still cost gigabytes. A
// top-level reader opens one budget for its document; a list whose declared
// length no longer fits is treated like a malformed list. Without an open
// budget only the per-list limit applies.
//
// Slots whose element is missing but that still hold an item with constructor
// values (text lines, frame lines) cost a whole record each while the file
// pays nothing for them, so they draw on a second, smaller allowance: a list
// that would fill more of them than the document has left is malformed too.
class CDeclaredSlotBudget {
public:
    static constexpr int64_t kPerDocument = 1000000;
    static constexpr int64_t kFilledPerDocument = 20000;

    CDeclaredSlotBudget() : previous_(active_) { active_ = this; }
    ~CDeclaredSlotBudget() { active_ = previous_; }
    CDeclaredSlotBudget(const CDeclaredSlotBudget&) = delete;
    CDeclaredSlotBudget& operator=(const CDeclaredSlotBudget&) = delete;

    // Takes n slots from the innermost open budget; false when they do not fit.
    static bool Take(int64_t n) {
        if (!active_) return true;
        if (n > active_->remaining_) return false;
        active_->remaining_ -= n;
        return true;
    }
    // Takes one slot that is filled with constructor values although its
    // element is missing; false when the document has none left.
    static bool TakeFilled() {
        if (!active_) return true;
        if (active_->filledRemaining_ <= 0) return false;
        --active_->filledRemaining_;
        return true;
    }

private:
    static inline CDeclaredSlotBudget* active_ = nullptr;
    CDeclaredSlotBudget* previous_;
    int64_t remaining_ = kPerDocument;
    int64_t filledRemaining_ = kFilledPerDocument;
};

// T provides:
//   static constexpr char16_t kListElement[]  the list element's name
//   static constexpr bool kMissingItemKeepsDefaults
//   bool Read(CXmlDocument&)   fails only when T's element is not found
//   bool Write(CXmlDocument&) const
//   void Assign(const T&)
// The document type is a template parameter of the readers and writers so
// that this lowest layer does not depend on the XML layer; in practice it is
// always CXmlDocument.
template <class T>
class CObjList {
public:
    std::vector<std::unique_ptr<T>> items;  // `count` slots, empty slots null
    int32_t count = 0;

    void Clear() {
        items.clear();
        count = 0;
    }

    // The item at i, or null for an empty slot or i outside [0, count).
    T* Get(int32_t i) const {
        if (i < 0 || i >= count || static_cast<size_t>(i) >= items.size()) return nullptr;
        return items[static_cast<size_t>(i)].get();
    }

    // Reads the list element at the cursor (searched among the following
    // siblings). False when the element is missing or its declared size is
    // implausible; a size <= 0 reads as an empty list.
    template <class Doc>
    bool Read(Doc& xml) {
        Clear();
        if (!xml.FindElement(T::kListElement)) return false;
        const int32_t n = xml.ReadIntAttribute(u"Size");
        if (n <= 0) return true;
        if (n > kMaxDeclaredCount || !CDeclaredSlotBudget::Take(n)) return false;
        if (!xml.EnterElement()) return false;
        items.resize(static_cast<size_t>(n));
        bool exhausted = false;  // once an item element is missing, all later ones are too
        for (int32_t i = 0; i < n; ++i) {
            auto item = std::make_unique<T>();
            if (!exhausted && item->Read(xml)) {
                items[static_cast<size_t>(i)] = std::move(item);
                continue;
            }
            exhausted = true;
            if (T::kMissingItemKeepsDefaults) {
                if (!CDeclaredSlotBudget::TakeFilled()) {
                    Clear();
                    xml.LeaveElement();
                    return false;
                }
                items[static_cast<size_t>(i)] = std::move(item);
            }
        }
        count = n;
        xml.LeaveElement();
        return true;
    }

    // Writes nothing for a list without items; otherwise the list element with
    // its declared size and every present item.
    template <class Doc>
    bool Write(Doc& xml) const {
        if (count <= 0 || !HasItems()) return true;
        if (!xml.AppendElement(T::kListElement)) return false;
        if (!xml.WriteAttribute(u"Size", count)) return false;
        if (!xml.EnterElement()) return false;
        for (const auto& item : items)
            if (item && !item->Write(xml)) return false;
        return xml.LeaveElement();
    }

    // Deep copy; empty slots stay empty.
    void Assign(const CObjList& other) {
        if (&other == this) return;
        std::vector<std::unique_ptr<T>> copy(other.items.size());
        for (size_t i = 0; i < other.items.size(); ++i) {
            if (!other.items[i]) continue;
            copy[i] = std::make_unique<T>();
            copy[i]->Assign(*other.items[i]);
        }
        items = std::move(copy);
        count = other.count;
    }

    bool HasItems() const {
        for (const auto& item : items)
            if (item) return true;
        return false;
    }

    // Hands an image size to every present item (item kinds with geometry).
    void SetImageSize(int32_t w, int32_t h) const {
        ForEach([&](T& item) { item.SetImageSize(w, h); });
    }

    // Calls f(T&) for every present item in order.
    template <class F>
    void ForEach(F&& f) const {
        for (const auto& item : items)
            if (item) f(*item);
    }
};

// Reads a list through a new list object: the owner keeps the new list when
// the read succeeds and none otherwise.
template <class L, class Doc>
std::unique_ptr<L> ReadOwnedList(Doc& xml) {
    auto list = std::make_unique<L>();
    if (!list->Read(xml)) return nullptr;
    return list;
}

// Deep copy of an owned list (null stays null).
template <class L>
std::unique_ptr<L> CopyOwnedList(const std::unique_ptr<L>& src) {
    if (!src) return nullptr;
    auto list = std::make_unique<L>();
    list->Assign(*src);
    return list;
}

}  // namespace libMorvaneClassifier
