// Step records without XML: the factory, constructor values, parameter
// descriptors and copying.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "preprocess/ImageProcessingInfo.h"
#include "preprocess/ImageProcessingList.h"
#include "preprocess/PreprocessTestUtil.h"

namespace libMorvaneClassifier {
namespace {

using test::Params;
using test::ParamsOf;

TEST(StepFactory, KnownTypesGiveTheirRecord) {
    struct Case {
        int32_t type;
        int32_t recordType;
        bool (*isClass)(const CImageProcessingInfo*);
    } cases[] = {
        {1, 1,
         [](const CImageProcessingInfo* p) { return dynamic_cast<const CColorToGrayInfo*>(p) != nullptr; }},
        {2, 2,
         [](const CImageProcessingInfo* p) { return dynamic_cast<const CGrayToBinInfo*>(p) != nullptr; }},
        {3, 3,
         [](const CImageProcessingInfo* p) {
             return dynamic_cast<const CBlackEdgesErasingInfo*>(p) != nullptr;
         }},
        {8, 8,
         [](const CImageProcessingInfo* p) {
             return dynamic_cast<const CTiltCorrectionInfo*>(p) != nullptr;
         }},
        {9, 9,
         [](const CImageProcessingInfo* p) { return dynamic_cast<const CImageCroppingInfo*>(p) != nullptr; }},
        {12, 8,
         [](const CImageProcessingInfo* p) {
             return dynamic_cast<const CTiltCorrectionInfo*>(p) != nullptr;
         }},
    };
    for (const auto& c : cases) {
        auto step = CreateImageProcessingInfo(c.type);
        ASSERT_NE(step, nullptr) << c.type;
        EXPECT_EQ(step->type, c.recordType) << c.type;
        EXPECT_TRUE(c.isClass(step.get())) << c.type;
    }
}

TEST(StepFactory, OtherNumbersGiveNoRecord) {
    for (int32_t type : {0, 4, 5, 6, 7, 10, 11, 13, 100, -1, -8, INT32_MIN, INT32_MAX})
        EXPECT_EQ(CreateImageProcessingInfo(type), nullptr) << type;
}

// Descriptor names, kinds and the constructor values they point at.
TEST(StepRecords, DescriptorsAndConstructorValues) {
    struct Case {
        int32_t type;
        Params expected;
    } cases[] = {
        {1, {{u"ColorToGray", 8, 0}, {u"ColorFilter", 22, 0}}},
        {2, {{u"GrayToBin", 8, 0}, {u"Method", 75, 6}, {u"BlockNum", 22, 1}}},
        {3,
         {{u"EraseBlackEdge", 8, 0},
          {u"Method", 22, 0},
          {u"Threshold", 22, 85},
          {u"GrayType", 22, 13},
          {u"BinaryType", 75, 6}}},
        {8,
         {{u"TiltCorrection", 8, 0},
          {u"IsOriginalSize", 11, 1},
          {u"FillColor", 22, 1},
          {u"MinAngle", 22, 1},
          {u"MaxAngle", 22, 5},
          {u"GrayType", 22, 0},
          {u"BinaryType", 75, 6}}},
    };
    for (const auto& c : cases) {
        auto step = CreateImageProcessingInfo(c.type);
        ASSERT_NE(step, nullptr);
        EXPECT_EQ(ParamsOf(*step), c.expected) << "type " << c.type;
    }
}

TEST(StepRecords, DescriptorsPointAtTheFields) {
    CTiltCorrectionInfo tilt;
    ParameterList list;
    tilt.ListParameters(list);
    ASSERT_EQ(list.size(), 7u);
    EXPECT_EQ(list[0].value, nullptr);
    EXPECT_EQ(list[1].value, &tilt.isOriginalSize);
    EXPECT_EQ(list[6].value, &tilt.binaryType);
    for (const auto& d : list) EXPECT_TRUE(d.choices.empty());
}

TEST(StepRecords, ListingReplacesWhatTheListHeld) {
    ParameterList list;
    AddParameter(list, u"Leftover", nullptr, 22);
    CColorToGrayInfo gray;
    gray.ListParameters(list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, u"ColorToGray");
}

TEST(StepRecords, CroppingListsNothingAndLeavesTheList) {
    ParameterList list;
    AddParameter(list, u"Leftover", nullptr, 22);
    CImageCroppingInfo crop;
    crop.ListParameters(list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, u"Leftover");
}

// Sets every integer parameter of a record to a distinct non-default value.
void Scramble(CImageProcessingInfo& step, int32_t base) {
    ParameterList list;
    step.ListParameters(list);
    for (size_t i = 1; i < list.size(); ++i)
        *static_cast<int32_t*>(list[i].value) = base + static_cast<int32_t>(i) * 7;
}

TEST(StepRecords, AssignCopiesEveryParameter) {
    for (int32_t type : {1, 2, 3, 8}) {
        auto src = CreateImageProcessingInfo(type);
        auto dst = CreateImageProcessingInfo(type);
        Scramble(*src, -50);
        ASSERT_NE(ParamsOf(*src), ParamsOf(*dst)) << type;
        dst->Assign(*src);
        EXPECT_EQ(ParamsOf(*dst), ParamsOf(*src)) << type;
        EXPECT_EQ(dst->type, src->type);
    }
}

TEST(StepRecords, SelfAssignKeepsValues) {
    CGrayToBinInfo step;
    step.method = 3;
    step.blockNum = 9;
    step.Assign(step);
    EXPECT_EQ(step.method, 3);
    EXPECT_EQ(step.blockNum, 9);
    EXPECT_EQ(step.type, 2);
}

TEST(StepList, AppendGetAndBounds) {
    CImageProcessingList list;
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetItem(0), nullptr);
    list.Append(CreateImageProcessingInfo(1));
    list.Append(nullptr);
    list.Append(CreateImageProcessingInfo(2));
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.GetItem(0)->type, 1);
    EXPECT_EQ(list.GetItem(1)->type, 2);
    EXPECT_EQ(list.GetItem(-1), nullptr);
    EXPECT_EQ(list.GetItem(2), nullptr);
    list.Clear();
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(StepList, AssignIsDeep) {
    CImageProcessingList src;
    auto gray = std::make_unique<CGrayToBinInfo>();
    gray->method = 2;
    gray->blockNum = 4;
    src.Append(std::move(gray));
    src.Append(CreateImageProcessingInfo(12));
    src.Append(CreateImageProcessingInfo(9));

    CImageProcessingList copy;
    copy.Append(CreateImageProcessingInfo(3));  // replaced by the copy
    copy.Assign(src);
    ASSERT_EQ(copy.GetCount(), 3);
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_NE(copy.GetItem(i), src.GetItem(i));
        EXPECT_EQ(copy.GetItem(i)->type, src.GetItem(i)->type);
        EXPECT_EQ(ParamsOf(*copy.GetItem(i)), ParamsOf(*src.GetItem(i)));
    }
    static_cast<CGrayToBinInfo*>(src.GetItem(0))->method = 7;
    EXPECT_EQ(static_cast<CGrayToBinInfo*>(copy.GetItem(0))->method, 2);

    copy.Assign(copy);
    EXPECT_EQ(copy.GetCount(), 3);

    CImageProcessingList empty;
    copy.Assign(empty);
    EXPECT_EQ(copy.GetCount(), 0);
}

TEST(StepList, OwnerHelpersTreatNoListAsEmpty) {
    EXPECT_EQ(ImageProcessingCount(nullptr), 0);
    EXPECT_EQ(ImageProcessingItem(nullptr, 0), nullptr);
    EXPECT_EQ(CloneImageProcessingList(nullptr), nullptr);

    CImageProcessingList list;
    list.Append(CreateImageProcessingInfo(8));
    EXPECT_EQ(ImageProcessingCount(&list), 1);
    EXPECT_EQ(ImageProcessingItem(&list, 0), list.GetItem(0));
    EXPECT_EQ(ImageProcessingItem(&list, 1), nullptr);
    auto clone = CloneImageProcessingList(&list);
    ASSERT_NE(clone, nullptr);
    ASSERT_EQ(clone->GetCount(), 1);
    EXPECT_NE(clone->GetItem(0), list.GetItem(0));
}

}  // namespace
}  // namespace libMorvaneClassifier
