// Allocation chains and the copies of property values that live in them.
#include <gtest/gtest.h>

#include <MapiPtr.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

bool Inside(const void* pointer, const void* start, std::size_t size)
{
    auto p = reinterpret_cast<std::uintptr_t>(pointer);
    auto s = reinterpret_cast<std::uintptr_t>(start);
    return p >= s && p < s + size;
}

TEST(AllocationChain, ChainedBuffersAreAlignedWritableAndFreedWithTheRoot)
{
    void* root = nullptr;
    ASSERT_EQ(MAPIAllocateBuffer(24, &root), S_OK);
    void* previous = root;
    for (ULONG size : {0u, 1u, 7u, 4096u, 100000u}) {
        void* more = nullptr;
        // Chaining onto a chained buffer lands on the same root chain.
        ASSERT_EQ(MAPIAllocateMore(size, previous, &more), S_OK);
        ASSERT_NE(more, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(more) % 16, 0u);
        std::memset(more, 0xAB, size);
        previous = more;
    }
    // Freeing a chained buffer alone does nothing; the root takes the whole chain (checked by
    // the leak checker of the sanitizer build).
    EXPECT_EQ(MAPIFreeBuffer(previous), 0u);
    EXPECT_EQ(MAPIFreeBuffer(root), 0u);
    EXPECT_EQ(MAPIFreeBuffer(nullptr), 0u);
}

TEST(AllocationChain, RejectsMissingOutput)
{
    EXPECT_EQ(MAPIAllocateBuffer(8, nullptr), MAPI_E_INVALID_PARAMETER);
    void* root = nullptr;
    ASSERT_EQ(MAPIAllocateBuffer(8, &root), S_OK);
    EXPECT_EQ(MAPIAllocateMore(8, root, nullptr), MAPI_E_INVALID_PARAMETER);
    MAPIFreeBuffer(root);
}

// One value of every kind whose data lives outside the SPropValue.
struct MixedValues {
    GUID guid{0x00062008, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    BYTE bytes[3] = {1, 2, 3};
    char16_t wide[4] = u"Wid";
    LPSTR strings[2] = {const_cast<char*>("one"), const_cast<char*>("two")};
    LONG longs[3] = {7, -8, 9};
    SPropValue values[6]{};

    MixedValues()
    {
        values[0].ulPropTag = PR_SUBJECT_A;
        values[0].Value.lpszA = const_cast<char*>("Hello");
        values[1].ulPropTag = PR_SUBJECT_W;
        values[1].Value.lpszW = wide;
        values[2].ulPropTag = PR_ENTRYID;
        values[2].Value.bin = {3, bytes};
        values[3].ulPropTag = PROP_TAG(PT_CLSID, 0x6001);
        values[3].Value.lpguid = &guid;
        values[4].ulPropTag = PROP_TAG(PT_MV_STRING8, 0x6002);
        values[4].Value.MVszA = {2, strings};
        values[5].ulPropTag = PROP_TAG(PT_MV_LONG, 0x6003);
        values[5].Value.MVl = {3, longs};
    }
};

void ExpectSameValues(const SPropValue* copy, const MixedValues& source)
{
    EXPECT_STREQ(copy[0].Value.lpszA, "Hello");
    EXPECT_EQ(std::u16string(copy[1].Value.lpszW), u"Wid");
    ASSERT_EQ(copy[2].Value.bin.cb, 3u);
    EXPECT_EQ(std::memcmp(copy[2].Value.bin.lpb, source.bytes, 3), 0);
    EXPECT_TRUE(*copy[3].Value.lpguid == source.guid);
    ASSERT_EQ(copy[4].Value.MVszA.cValues, 2u);
    EXPECT_STREQ(copy[4].Value.MVszA.lppszA[1], "two");
    ASSERT_EQ(copy[5].Value.MVl.cValues, 3u);
    EXPECT_EQ(copy[5].Value.MVl.lpl[1], -8);
}

TEST(PropertyCopies, DuplicateKeepsEveryValueInsideOneBuffer)
{
    MixedValues source;
    MapiBuffer<SPropValue> copy;
    ASSERT_EQ(ScDupPropset(6, source.values, MAPIAllocateBuffer, copy.put()), S_OK);
    ExpectSameValues(copy.get(), source);
    ULONG size = 0;
    ASSERT_EQ(ScCountProps(6, source.values, &size), S_OK);
    EXPECT_TRUE(Inside(copy[0].Value.lpszA, copy.get(), size));
    EXPECT_TRUE(Inside(copy[4].Value.MVszA.lppszA[1], copy.get(), size));
    EXPECT_NE(copy[0].Value.lpszA, source.values[0].Value.lpszA);
}

TEST(PropertyCopies, PropCopyMoreChainsTheDataToTheParent)
{
    MixedValues source;
    MapiBuffer<SPropValue> target;
    ASSERT_EQ(MAPIAllocateBuffer(6 * sizeof(SPropValue), target.put_void()), S_OK);
    for (int i = 0; i < 6; ++i)
        ASSERT_EQ(PropCopyMore(&target[i], &source.values[i], MAPIAllocateMore, target.get()), S_OK);
    ExpectSameValues(target.get(), source);
}

TEST(PropertyCopies, UnknownTypesAreRefused)
{
    SPropValue value{};
    value.ulPropTag = PROP_TAG(PT_ACTIONS, 0x6001);
    LPSPropValue copy = nullptr;
    EXPECT_EQ(ScDupPropset(1, &value, MAPIAllocateBuffer, &copy), MAPI_E_INVALID_TYPE);
    EXPECT_EQ(copy, nullptr);
}

TEST(PropertyHelpers, SizesOfValues)
{
    MixedValues source;
    struct Case {
        const SPropValue* value;
        ULONG size;
    };
    SPropValue number{};
    number.ulPropTag = PR_MESSAGE_FLAGS;
    SPropValue time{};
    time.ulPropTag = PR_MESSAGE_DELIVERY_TIME;
    for (const Case& c : {Case{&source.values[0], 6}, Case{&source.values[1], 8}, Case{&source.values[2], 3},
                          Case{&source.values[3], 16}, Case{&source.values[4], 8}, Case{&source.values[5], 12},
                          Case{&number, 4}, Case{&time, 8}})
        EXPECT_EQ(UlPropSize(const_cast<LPSPropValue>(c.value)), c.size) << std::hex << c.value->ulPropTag;
}

TEST(PropertyHelpers, FindPropertyByTagOrByIdentifier)
{
    MixedValues source;
    EXPECT_EQ(PpropFindProp(source.values, 6, PR_SUBJECT_W), &source.values[1]);
    EXPECT_EQ(PpropFindProp(source.values, 6, PROP_TAG(PT_UNSPECIFIED, 0x0037)), &source.values[0]);
    EXPECT_EQ(PpropFindProp(source.values, 6, PR_BODY_A), nullptr);
    EXPECT_EQ(PpropFindProp(nullptr, 0, PR_BODY_A), nullptr);
}

TEST(PropertyHelpers, CompareOrdersValuesOfOneType)
{
    SPropValue a{};
    SPropValue b{};
    a.ulPropTag = b.ulPropTag = PR_SUBJECT_A;
    a.Value.lpszA = const_cast<char*>("apple");
    b.Value.lpszA = const_cast<char*>("banana");
    EXPECT_LT(LPropCompareProp(&a, &b), 0);
    EXPECT_TRUE(FPropCompareProp(&a, RELOP_LT, &b));
    EXPECT_FALSE(FPropCompareProp(&a, RELOP_EQ, &b));
    EXPECT_TRUE(FPropCompareProp(&a, RELOP_EQ, &a));
}

} // namespace
