// The in-memory table: columns, restrictions of every kind, cursor, bookmarks, sorting, counts.
#include "tests/platform/mapi/core/PropValueMakers.h"

#include <gtest/gtest.h>

#include <MapiPtr.h>
#include <edkmdb.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace mapitest;

constexpr BYTE kExchangeProvider[16] = MUIDEMSAB;
constexpr BYTE kOtherProvider[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

// An address list: row id, display name, account (missing on row 4), display type, provider,
// container id and proxy addresses (rows 1 and 3).
struct Entry {
    LONG id;
    const char16_t* name;
    const char* account;
    LONG displayType;
    const BYTE* provider;
    LONG container;
    std::vector<const char*> proxies;
};
const std::vector<Entry> kEntries = {
    {1, u"Anna Berg", "anna", DT_MAILUSER, kExchangeProvider, 0, {"SMTP:anna@example.org", "smtp:ab@example.org"}},
    {2, u"\u00C9mile Zola", "emile", DT_MAILUSER, kExchangeProvider, 7, {}},
    {3, u"Sales & Marketing", "sales", DT_DISTLIST, kOtherProvider, 0, {"SMTP:sales@example.org"}},
    {4, u"Carl Contact", nullptr, DT_REMOTE_MAILUSER, kExchangeProvider, 0, {}},
    {5, u"bob", "bob", DT_MAILUSER, kOtherProvider, 3, {}},
};


class TableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SizedSPropTagArray(3, columns) = {3, {PR_ROWID, PR_DISPLAY_NAME_W, PR_ACCOUNT_A}};
        ASSERT_EQ(CreateTable(nullptr, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr,
                              TBLTYPE_DYNAMIC, PR_ROWID, reinterpret_cast<LPSPropTagArray>(&columns), data_.put()),
                  S_OK);
        for (const Entry& entry : kEntries)
            ASSERT_EQ(AddRow(entry), S_OK);
        ASSERT_EQ(data_->HrGetView(nullptr, nullptr, 0, table_.put()), S_OK);
    }

    HRESULT AddRow(const Entry& entry)
    {
        std::vector<SPropValue> values;
        auto add = [&values](ULONG tag) -> SPropValue& {
            values.push_back(SPropValue{});
            values.back().ulPropTag = tag;
            return values.back();
        };
        add(PR_ROWID).Value.l = entry.id;
        add(PR_DISPLAY_NAME_W).Value.lpszW = const_cast<char16_t*>(entry.name);
        if (entry.account != nullptr)
            add(PR_ACCOUNT_A).Value.lpszA = const_cast<char*>(entry.account);
        add(PR_DISPLAY_TYPE).Value.l = entry.displayType;
        add(PR_AB_PROVIDER_ID).Value.bin = {16, const_cast<BYTE*>(entry.provider)};
        add(PR_EMS_AB_CONTAINERID).Value.l = entry.container;
        std::vector<LPSTR> proxies;
        for (const char* proxy : entry.proxies)
            proxies.push_back(const_cast<char*>(proxy));
        if (!proxies.empty())
            add(PR_EMS_AB_PROXY_ADDRESSES_A).Value.MVszA = {static_cast<ULONG>(proxies.size()), proxies.data()};
        SRow row{0, static_cast<ULONG>(values.size()), values.data()};
        return data_->HrModifyRow(&row);
    }

    // The row ids of the rows read from the current position on.
    std::vector<LONG> ReadIds(LONG count = 100)
    {
        SizedSPropTagArray(1, columns) = {1, {PR_ROWID}};
        EXPECT_EQ(table_->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0), S_OK);
        MapiRows rows;
        EXPECT_EQ(table_->QueryRows(count, 0, rows.put()), S_OK);
        std::vector<LONG> ids;
        for (ULONG i = 0; i < rows.size(); ++i)
            ids.push_back(rows->aRow[i].lpProps[0].Value.l);
        return ids;
    }

    MapiPtr<ITableData> data_;
    MapiPtr<IMAPITable> table_;
};

TEST_F(TableTest, ColumnsGiveValuesInTheAskedFormAndErrorsForMissingOnes)
{
    SizedSPropTagArray(4, columns) = {4, {PR_DISPLAY_NAME_A, PR_ACCOUNT_W, PROP_TAG(PT_UNSPECIFIED, 0x3900), PR_BODY_A}};
    ASSERT_EQ(table_->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0), S_OK);
    ASSERT_EQ(table_->SeekRow(BOOKMARK_BEGINNING, 1, nullptr), S_OK);
    MapiRows rows;
    ASSERT_EQ(table_->QueryRows(3, 0, rows.put()), S_OK);
    ASSERT_EQ(rows.size(), 3u);
    const SRow& emile = rows->aRow[0];
    ASSERT_EQ(emile.cValues, 4u);
    EXPECT_EQ(emile.lpProps[0].ulPropTag, PR_DISPLAY_NAME_A);
    EXPECT_STREQ(emile.lpProps[0].Value.lpszA, "\u00C9mile Zola");
    EXPECT_EQ(std::u16string(emile.lpProps[1].Value.lpszW), u"emile");
    EXPECT_EQ(emile.lpProps[2].ulPropTag, PR_DISPLAY_TYPE);
    EXPECT_EQ(emile.lpProps[3].ulPropTag, PROP_TAG(PT_ERROR, 0x1000));
    EXPECT_EQ(emile.lpProps[3].Value.err, MAPI_E_NOT_FOUND);
    const SRow& carl = rows->aRow[2];
    EXPECT_EQ(carl.lpProps[1].ulPropTag, PROP_TAG(PT_ERROR, 0x3A00));

    MapiBuffer<SPropTagArray> current;
    ASSERT_EQ(table_->QueryColumns(0, current.put()), S_OK);
    ASSERT_EQ(current->cValues, 4u);
    EXPECT_EQ(current->aulPropTag[3], PR_BODY_A);
    MapiBuffer<SPropTagArray> all;
    ASSERT_EQ(table_->QueryColumns(TBL_ALL_COLUMNS, all.put()), S_OK);
    EXPECT_EQ(all->cValues, 7u);
}

// Restriction trees built in place; the values live in the case.
struct RestrictionCase {
    const char* name;
    std::vector<SPropValue> values;
    std::function<std::vector<SRestriction>(std::vector<SPropValue>&)> build;
    std::vector<LONG> expected;
};

SRestriction Property(ULONG relop, SPropValue& value)
{
    SRestriction r{};
    r.rt = RES_PROPERTY;
    r.res.resProperty = {relop, value.ulPropTag, &value};
    return r;
}
SRestriction Content(ULONG fuzzy, SPropValue& value)
{
    SRestriction r{};
    r.rt = RES_CONTENT;
    r.res.resContent = {fuzzy, value.ulPropTag, &value};
    return r;
}

const std::vector<RestrictionCase>& RestrictionCases()
{
    static const std::vector<RestrictionCase> cases = {
        {"id less", {LongValue(PR_ROWID, 3)}, [](auto& v) { return std::vector{Property(RELOP_LT, v[0])}; }, {1, 2}},
        {"id less or equal", {LongValue(PR_ROWID, 3)}, [](auto& v) { return std::vector{Property(RELOP_LE, v[0])}; }, {1, 2, 3}},
        {"id greater", {LongValue(PR_ROWID, 3)}, [](auto& v) { return std::vector{Property(RELOP_GT, v[0])}; }, {4, 5}},
        {"id greater or equal", {LongValue(PR_ROWID, 3)}, [](auto& v) { return std::vector{Property(RELOP_GE, v[0])}; }, {3, 4, 5}},
        {"id equal", {LongValue(PR_ROWID, 3)}, [](auto& v) { return std::vector{Property(RELOP_EQ, v[0])}; }, {3}},
        {"id not equal", {LongValue(PR_ROWID, 3)}, [](auto& v) { return std::vector{Property(RELOP_NE, v[0])}; }, {1, 2, 4, 5}},
        // A missing property satisfies no operator, not even "not equal".
        {"account not equal skips rows without one", {AnsiValue(PR_ACCOUNT_A, "anna")},
         [](auto& v) { return std::vector{Property(RELOP_NE, v[0])}; }, {2, 3, 5}},
        {"text equal ignores case, either string form", {AnsiValue(PR_DISPLAY_NAME_A, "ANNA berg")},
         [](auto& v) { return std::vector{Property(RELOP_EQ, v[0])}; }, {1}},
        {"text order", {AnsiValue(PR_ACCOUNT_A, "c")}, [](auto& v) { return std::vector{Property(RELOP_LT, v[0])}; }, {1, 5}},
        {"regular expression", {AnsiValue(PR_DISPLAY_NAME_A, "^[A-C].* [BC]")},
         [](auto& v) { return std::vector{Property(RELOP_RE, v[0])}; }, {1, 4}},
        {"multi-valued property matches through any value", {AnsiValue(PR_EMS_AB_PROXY_ADDRESSES_A & ~MV_FLAG, "smtp:AB@example.org")},
         [](auto& v) { return std::vector{Property(RELOP_EQ, v[0])}; }, {1}},
        {"the address list of the Exchange provider",
         {BinaryValue(PR_AB_PROVIDER_ID, kExchangeProvider, 16), LongValue(PR_EMS_AB_CONTAINERID, 0)},
         [](auto& v) {
             std::vector<SRestriction> tree{SRestriction{}, Property(RELOP_EQ, v[0]), Property(RELOP_EQ, v[1])};
             tree[0].rt = RES_AND;
             tree[0].res.resAnd = {2, &tree[1]};
             return tree;
         },
         {1, 4}},
        {"or", {LongValue(PR_ROWID, 1), LongValue(PR_ROWID, 5)},
         [](auto& v) {
             std::vector<SRestriction> tree{SRestriction{}, Property(RELOP_EQ, v[0]), Property(RELOP_EQ, v[1])};
             tree[0].rt = RES_OR;
             tree[0].res.resOr = {2, &tree[1]};
             return tree;
         },
         {1, 5}},
        {"not", {LongValue(PR_DISPLAY_TYPE, DT_MAILUSER)},
         [](auto& v) {
             std::vector<SRestriction> tree{SRestriction{}, Property(RELOP_EQ, v[0])};
             tree[0].rt = RES_NOT;
             tree[0].res.resNot = {0, &tree[1]};
             return tree;
         },
         {3, 4}},
        {"exists", {},
         [](auto&) {
             SRestriction r{};
             r.rt = RES_EXIST;
             r.res.resExist = {0, PR_ACCOUNT_A, 0};
             return std::vector{r};
         },
         {1, 2, 3, 5}},
        {"content, substring ignoring case", {AnsiValue(PR_DISPLAY_NAME_A, "MARK")},
         [](auto& v) { return std::vector{Content(FL_SUBSTRING | FL_IGNORECASE, v[0])}; }, {3}},
        {"content, substring with case", {AnsiValue(PR_DISPLAY_NAME_A, "MARK")},
         [](auto& v) { return std::vector{Content(FL_SUBSTRING, v[0])}; }, {}},
        {"content, prefix", {AnsiValue(PR_DISPLAY_NAME_A, "Ca")},
         [](auto& v) { return std::vector{Content(FL_PREFIX, v[0])}; }, {4}},
        {"content, full string", {AnsiValue(PR_DISPLAY_NAME_A, "bob")},
         [](auto& v) { return std::vector{Content(FL_FULLSTRING, v[0])}; }, {5}},
        {"content, loose ignores case and accents", {AnsiValue(PR_DISPLAY_NAME_A, "emile")},
         [](auto& v) { return std::vector{Content(FL_PREFIX | FL_LOOSE, v[0])}; }, {2}},
        {"content of binary, prefix", {BinaryValue(PR_AB_PROVIDER_ID, kOtherProvider, 4)},
         [](auto& v) { return std::vector{Content(FL_PREFIX, v[0])}; }, {3, 5}},
        {"bitmask, none of the bits", {},
         [](auto&) {
             SRestriction r{};
             r.rt = RES_BITMASK;
             r.res.resBitMask = {BMR_EQZ, PR_EMS_AB_CONTAINERID, 0x2};
             return std::vector{r};
         },
         {1, 3, 4}},
        {"bitmask, some of the bits", {},
         [](auto&) {
             SRestriction r{};
             r.rt = RES_BITMASK;
             r.res.resBitMask = {BMR_NEZ, PR_EMS_AB_CONTAINERID, 0x3};
             return std::vector{r};
         },
         {2, 5}},
        {"size of a string value", {},
         [](auto&) {
             SRestriction r{};
             r.rt = RES_SIZE;
             r.res.resSize = {RELOP_GT, PR_ACCOUNT_A, 5};  // "emile" and "sales" take 6 bytes
             return std::vector{r};
         },
         {2, 3}},
        {"compare two properties", {},
         [](auto&) {
             SRestriction r{};
             r.rt = RES_COMPAREPROPS;
             r.res.resCompareProps = {RELOP_LT, PR_EMS_AB_CONTAINERID, PR_ROWID};
             return std::vector{r};
         },
         {1, 3, 4, 5}},
    };
    return cases;
}

TEST_F(TableTest, RestrictionsSelectTheirRows)
{
    for (const RestrictionCase& c : RestrictionCases()) {
        std::vector<SPropValue> values = c.values;
        std::vector<SRestriction> tree = c.build(values);
        ASSERT_EQ(table_->Restrict(tree.data(), 0), S_OK) << c.name;
        ULONG count = 0;
        ASSERT_EQ(table_->GetRowCount(0, &count), S_OK);
        EXPECT_EQ(count, c.expected.size()) << c.name;
        EXPECT_EQ(ReadIds(), c.expected) << c.name;
    }
    ASSERT_EQ(table_->Restrict(nullptr, 0), S_OK);
    EXPECT_EQ(ReadIds().size(), kEntries.size());
}

TEST_F(TableTest, RestrictRefusesWhatItCannotEvaluate)
{
    SRestriction sub{};
    sub.rt = RES_SUBRESTRICTION;
    sub.res.resSub = {PR_MESSAGE_RECIPIENTS, nullptr};
    EXPECT_EQ(table_->Restrict(&sub, 0), MAPI_E_TOO_COMPLEX);
    SPropValue pattern = AnsiValue(PR_DISPLAY_NAME_A, "([unclosed");
    SRestriction regex = Property(RELOP_RE, pattern);
    EXPECT_EQ(table_->Restrict(&regex, 0), MAPI_E_INVALID_PARAMETER);
    SRestriction noValue{};
    noValue.rt = RES_PROPERTY;
    noValue.res.resProperty = {RELOP_EQ, PR_ROWID, nullptr};
    EXPECT_EQ(table_->Restrict(&noValue, 0), MAPI_E_INVALID_PARAMETER);
    SRestriction unknown{};
    unknown.rt = 99;
    EXPECT_EQ(table_->Restrict(&unknown, 0), MAPI_E_INVALID_PARAMETER);
    // A refused restriction leaves the table as it was.
    EXPECT_EQ(ReadIds().size(), kEntries.size());
}

TEST_F(TableTest, SeekRowMovesWithinTheTableAndTellsHowFar)
{
    struct Case {
        BOOKMARK origin;
        LONG move;
        LONG sought;
        LONG nextId;  // 0: at the end
    };
    // Each case starts where the previous one left the cursor.
    const std::vector<Case> cases = {
        {BOOKMARK_BEGINNING, 2, 2, 3}, {BOOKMARK_CURRENT, 1, 1, 4}, {BOOKMARK_CURRENT, -10, -3, 1},
        {BOOKMARK_END, -1, -1, 5},     {BOOKMARK_END, 3, 0, 0},     {BOOKMARK_BEGINNING, -1, 0, 1},
        {BOOKMARK_BEGINNING, 9, 5, 0},
    };
    for (const Case& c : cases) {
        LONG sought = 99;
        ASSERT_EQ(table_->SeekRow(c.origin, c.move, &sought), S_OK);
        EXPECT_EQ(sought, c.move == 0 ? 0 : c.sought);
        std::vector<LONG> next = ReadIds(1);
        EXPECT_EQ(next.empty() ? 0 : next[0], c.nextId) << c.origin << " " << c.move;
        if (!next.empty()) {
            ASSERT_EQ(table_->SeekRow(BOOKMARK_CURRENT, -1, nullptr), S_OK);
        }
    }
}

TEST_F(TableTest, QueryRowsReadsForwardBackwardAndWithoutMoving)
{
    EXPECT_EQ(ReadIds(2), (std::vector<LONG>{1, 2}));
    MapiRows rows;
    ASSERT_EQ(table_->QueryRows(2, TBL_NOADVANCE, rows.put()), S_OK);
    EXPECT_EQ(rows.size(), 2u);
    EXPECT_EQ(ReadIds(-2), (std::vector<LONG>{1, 2}));  // backward: the rows before the cursor
    EXPECT_EQ(ReadIds(10), (std::vector<LONG>{1, 2, 3, 4, 5}));
    EXPECT_TRUE(ReadIds(10).empty());
    ULONG row = 0, numerator = 0, denominator = 0;
    ASSERT_EQ(table_->QueryPosition(&row, &numerator, &denominator), S_OK);
    EXPECT_EQ(row, 5u);
    EXPECT_EQ(denominator, 5u);
    ASSERT_EQ(table_->SeekRowApprox(2, 5), S_OK);
    EXPECT_EQ(ReadIds(1), std::vector<LONG>{3});
}

TEST_F(TableTest, BookmarksAndFindRow)
{
    ASSERT_EQ(table_->SeekRow(BOOKMARK_BEGINNING, 3, nullptr), S_OK);
    BOOKMARK mark = 0;
    ASSERT_EQ(table_->CreateBookmark(&mark), S_OK);
    SPropValue mailUser = LongValue(PR_DISPLAY_TYPE, DT_MAILUSER);
    SRestriction isMailUser = Property(RELOP_EQ, mailUser);
    ASSERT_EQ(table_->FindRow(&isMailUser, mark, 0), S_OK);
    EXPECT_EQ(ReadIds(1), std::vector<LONG>{5});
    ASSERT_EQ(table_->FindRow(&isMailUser, mark, DIR_BACKWARD), S_OK);
    EXPECT_EQ(ReadIds(1), std::vector<LONG>{2});
    SPropValue missing = LongValue(PR_ROWID, 42);
    SRestriction isMissing = Property(RELOP_EQ, missing);
    EXPECT_EQ(table_->FindRow(&isMissing, BOOKMARK_BEGINNING, 0), MAPI_E_NOT_FOUND);
    ASSERT_EQ(table_->SeekRow(mark, 1, nullptr), S_OK);
    EXPECT_EQ(ReadIds(1), std::vector<LONG>{5});
    ASSERT_EQ(table_->FreeBookmark(mark), S_OK);
    EXPECT_EQ(table_->SeekRow(mark, 0, nullptr), MAPI_E_INVALID_BOOKMARK);
    EXPECT_EQ(table_->FreeBookmark(mark), MAPI_E_INVALID_BOOKMARK);
}

TEST_F(TableTest, SortTableOrdersByColumnsAndPutsMissingValuesLast)
{
    SizedSSortOrderSet(2, sort) = {2, 0, 0, {{PR_ACCOUNT_A, TABLE_SORT_DESCEND}, {PR_ROWID, TABLE_SORT_ASCEND}}};
    ASSERT_EQ(table_->SortTable(reinterpret_cast<LPSSortOrderSet>(&sort), 0), S_OK);
    EXPECT_EQ(ReadIds(), (std::vector<LONG>{3, 2, 5, 1, 4}));
    SizedSSortOrderSet(1, byName) = {1, 0, 0, {{PR_DISPLAY_NAME_W, TABLE_SORT_ASCEND}}};
    ASSERT_EQ(table_->SortTable(reinterpret_cast<LPSSortOrderSet>(&byName), 0), S_OK);
    EXPECT_EQ(ReadIds(), (std::vector<LONG>{1, 5, 4, 3, 2}));  // "bob" ignores case; "É" sorts after "S"
    SizedSSortOrderSet(1, categories) = {1, 1, 1, {{PR_DISPLAY_TYPE, TABLE_SORT_ASCEND}}};
    EXPECT_EQ(table_->SortTable(reinterpret_cast<LPSSortOrderSet>(&categories), 0), MAPI_E_TOO_COMPLEX);
}

TEST_F(TableTest, ViewsFollowChangesOfTheData)
{
    ASSERT_EQ(table_->SeekRow(BOOKMARK_BEGINNING, 4, nullptr), S_OK);
    SPropValue five = LongValue(PR_ROWID, 5);
    ASSERT_EQ(data_->HrDeleteRow(&five), S_OK);
    EXPECT_EQ(data_->HrDeleteRow(&five), MAPI_E_NOT_FOUND);
    ULONG count = 0;
    ASSERT_EQ(table_->GetRowCount(0, &count), S_OK);
    EXPECT_EQ(count, 4u);
    EXPECT_TRUE(ReadIds().empty());

    Entry renamed = kEntries[0];
    renamed.name = u"Anna Lind";
    ASSERT_EQ(AddRow(renamed), S_OK);  // same row id: replaces the row in place
    SizedSPropTagArray(1, names) = {1, {PR_DISPLAY_NAME_A}};
    MapiRows rows;
    ASSERT_EQ(HrQueryAllRows(table_.get(), reinterpret_cast<LPSPropTagArray>(&names), nullptr, nullptr, 0, rows.put()),
              S_OK);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_STREQ(rows->aRow[0].lpProps[0].Value.lpszA, "Anna Lind");

    MapiBuffer<SRow> row;
    ULONG index = 0;
    SPropValue one = LongValue(PR_ROWID, 1);
    ASSERT_EQ(data_->HrQueryRow(&one, row.put(), &index), S_OK);
    EXPECT_EQ(index, 0u);
    EXPECT_NE(PpropFindProp(row->lpProps, row->cValues, PR_AB_PROVIDER_ID), nullptr);
    SPropValue typeOnly = LongValue(PR_DISPLAY_TYPE, DT_MAILUSER);
    SRow withoutIndex{0, 1, &typeOnly};
    EXPECT_EQ(data_->HrModifyRow(&withoutIndex), MAPI_E_INVALID_PARAMETER);
}

TEST_F(TableTest, QueryAllRowsAppliesRestrictionAndLimit)
{
    SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
    SPropValue user = LongValue(PR_DISPLAY_TYPE, DT_MAILUSER);
    SRestriction isUser = Property(RELOP_EQ, user);
    MapiRows rows;
    ASSERT_EQ(HrQueryAllRows(table_.get(), reinterpret_cast<LPSPropTagArray>(&columns), &isUser, nullptr, 0, rows.put()),
              S_OK);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows->aRow[0].lpProps[0].ulPropTag, PROP_TAG(PT_ERROR, 0x0FFF));
    MapiRows limited;
    EXPECT_EQ(HrQueryAllRows(table_.get(), nullptr, nullptr, nullptr, 2, limited.put()), MAPI_E_TABLE_TOO_BIG);
    EXPECT_EQ(limited.get(), nullptr);
}

int releases = 0;
void NoteRelease(ULONG callerData, LPTABLEDATA data, LPMAPITABLE view)
{
    EXPECT_EQ(callerData, 77u);
    EXPECT_NE(data, nullptr);
    EXPECT_NE(view, nullptr);
    ++releases;
}

TEST_F(TableTest, ReleasingAViewTellsTheCaller)
{
    LPMAPITABLE view = nullptr;
    ASSERT_EQ(data_->HrGetView(nullptr, NoteRelease, 77, &view), S_OK);
    releases = 0;
    view->Release();
    EXPECT_EQ(releases, 1);
}

TEST(CreateTable, NeedsColumnsAndAllocators)
{
    LPTABLEDATA data = nullptr;
    EXPECT_EQ(CreateTable(nullptr, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr, TBLTYPE_SNAPSHOT,
                          PR_ROWID, nullptr, &data),
              MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(data, nullptr);
}

} // namespace
