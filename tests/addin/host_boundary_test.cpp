// What the add-in does when the host gets in its way: a memory manager that
// refuses, and calls with fewer parameters than the method table gives.  In
// both cases the call fails with nothing done.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scales/error_table.h"
#include "tests/addin/addin_support.h"

namespace addin_test {
namespace {

constexpr int32_t kEarlierError = 77;

// The records the host passes in, to tell whether any was written.
std::vector<tVariant> Untouched(size_t count) {
    return std::vector<tVariant>(count, I4(-7));
}

bool AllUntouched(const std::vector<tVariant>& params) {
    for (const tVariant& p : params) {
        if (p.vt != VTYPE_I4 || p.lVal != -7) return false;
    }
    return true;
}

// Every method that hands strings to the host, with a host that grants fewer
// allocations than the method needs: the call fails, no block is left with
// either side, the host's records are as it passed them, and no state
// changed.  Open and DeviceTest would have registered scales: they say in
// the last error why they did not; the others only read, and leave it.
TEST_F(DriverTest, RefusedHostMemoryChangesNothing) {
    const struct {
        long method;
        size_t params;
        int strings;
        bool setsLastError;
    } cases[] = {
        {kGetVersion, 0, 1, false},
        {kGetDescription, 7, 4, false},
        {kGetLastError, 1, 1, false},
        {kGetParameters, 1, 1, false},
        {kOpen, 1, 1, true},
        {kDeviceTest, 2, 1, true},
        {kGetBuilderInfo, 0, 1, false},
    };
    for (const auto& c : cases) {
        for (int granted = 0; granted < c.strings; ++granted) {
            SCOPED_TRACE(std::to_string(c.method) + " granted " + std::to_string(granted));
            driver_.Devices().SetLastError(kEarlierError);
            const size_t live = memory_.Live();
            const int registered = driver_.Devices().RegisteredCount();
            memory_.GrantOnly(granted);
            std::vector<tVariant> params = Untouched(c.params);
            EXPECT_FALSE(Call(c.method, params));
            memory_.GrantOnly(-1);
            EXPECT_EQ(memory_.Live(), live);
            EXPECT_TRUE(AllUntouched(params));
            EXPECT_EQ(result_.vt, VTYPE_I4);
            EXPECT_EQ(driver_.Devices().RegisteredCount(), registered);
            std::u16string text;
            EXPECT_EQ(
                LastError(&text),
                static_cast<uint32_t>(c.setsLastError ? scales::kErrHostMemory : kEarlierError));
            if (c.setsLastError) {
                EXPECT_EQ(text, scales::ErrorText(scales::kErrHostMemory, u""));
            }
        }
        // With the memory it needs, the same call goes through.
        std::vector<tVariant> params = Untouched(c.params);
        EXPECT_TRUE(Call(c.method, params)) << c.method;
    }
}

// Refused Opens used to register scales under IDs the host never learnt: a
// hundred of them filled the table until the object was destroyed.
TEST_F(DriverTest, RefusedOpensLeaveNoOrphans) {
    memory_.GrantOnly(0);
    for (int i = 0; i < CDeviceTable::kSlotCount + 1; ++i) {
        std::vector<tVariant> params = {Empty()};
        EXPECT_FALSE(Call(kOpen, params));
    }
    memory_.GrantOnly(-1);
    EXPECT_EQ(driver_.Devices().RegisteredCount(), 0);
    std::vector<tVariant> params = {Empty()};
    ASSERT_TRUE(Call(kOpen, params));
    EXPECT_NE(driver_.Devices().LastError(), scales::kErrTableFull);
    EXPECT_EQ(driver_.Devices().RegisteredCount(), 1);
    EXPECT_EQ(StringOf(params[0]).size(), 20u);
}

// The parameter-count rule, for every method: a method that reads or writes
// its parameters needs the array and at least the table's count of them;
// short of that the call fails before anything is read, written, allocated
// or changed.  Methods that never look at their parameters answer the same
// whatever the host passes (the two without an action always fail).
TEST(ParameterCount, EveryMethodAgainstTheTable) {
    const std::u16string id = u"NOBODY", goods = u"<G/>", empty = u"", name = u"etikdep",
                         folder = u"/no/such/folder", text = u"A";
    const struct {
        long method;
        bool readsParams;
        bool succeeds;  // with every parameter given
        std::vector<tVariant> params;
    } cases[] = {
        {0, false, true, {}},
        {1, true, true, std::vector<tVariant>(7, Empty())},
        {2, true, true, {Empty()}},
        {3, true, true, {Empty()}},
        {4, true, true, {Wide(name), I4(5)}},
        {5, true, true, {Empty()}},
        {6, true, true, {Wide(id)}},
        {7, true, true, {Empty(), Empty()}},
        {8, false, true, {Empty()}},
        {9, false, true, {Empty()}},
        {10, true, true, {Wide(id), Wide(goods), Wide(empty)}},
        {11, true, true, {Wide(id)}},
        {12, true, true, {Wide(id), Wide(empty)}},  // no host: fails at once
        {13, false, false, {Wide(id), I4(0)}},
        {14, true, true, {Wide(id)}},
        {15, true, true,
         [&] {
             std::vector<tVariant> p = {Wide(id), Wide(text)};
             p.resize(15, I4(0));
             return p;
         }()},
        {16, false, true, {}},
        {17, false, false, {Empty(), Empty()}},
        {18, true, true, {Wide(folder)}},
        {19, false, true, {}},
        {20, true, true, {Wide(id), I4(1), Wide(text), I4(0)}},
        {21, true, true, {Wide(id)}},
        {22, true, true, {Wide(id)}},
        {23, true, true, {Wide(id), I4(1), I4(1)}},
        {24, true, true, {Wide(id)}},
    };
    ASSERT_EQ(std::size(cases), 25u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method);
        TestMemory memory;
        CAddInNative driver;
        driver.setMemManager(&memory);
        CDeviceTable& table = driver.Devices();
        table.SetLastError(kEarlierError);
        ASSERT_EQ(driver.GetNParams(c.method), static_cast<long>(c.params.size()));

        const long full = static_cast<long>(c.params.size());
        const struct {
            bool withArray;
            long count;
        } shortCalls[] = {{true, full - 1}, {true, 0}, {false, 0}, {false, full}};
        for (const auto& call : shortCalls) {
            if (call.count < 0) continue;
            SCOPED_TRACE(std::to_string(call.count) + (call.withArray ? " with" : " without") +
                         " an array");
            std::vector<tVariant> params = c.params;
            tVariant result = I4(-12345);
            const bool ok = driver.CallAsFunc(c.method, &result,
                                              call.withArray ? params.data() : nullptr, call.count);
            if (c.readsParams) {
                EXPECT_FALSE(ok);
                EXPECT_EQ(result.vt, VTYPE_I4);
            } else {
                EXPECT_EQ(ok, c.succeeds);
            }
            EXPECT_EQ(table.LastError(), kEarlierError);
            EXPECT_EQ(table.RegisteredCount(), 0);
            EXPECT_EQ(table.FolderPath(), u"");
            EXPECT_EQ(table.Settings().labels.department, scales::LabelSettings{}.department);
        }
        if (c.readsParams) {
            EXPECT_EQ(memory.allocations, 0);
        }

        std::vector<tVariant> params = c.params;
        tVariant result = I4(-12345);
        EXPECT_EQ(
            driver.CallAsFunc(c.method, &result, params.empty() ? nullptr : params.data(), full),
            c.succeeds);
    }
}

}  // namespace
}  // namespace addin_test
