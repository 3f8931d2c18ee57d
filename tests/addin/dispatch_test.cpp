// The dispatcher frame and the object's own life, without a loaded library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/addin/addin_support.h"

namespace addin_test {
namespace {

TEST_F(DriverTest, StringParametersOfWrongTypeChangeNothing) {
    driver_.Devices().SetLastError(7);
    const std::u16string id = u"ID", doc = u"<G><Good PLU=\"1\"/></G>";
    const struct {
        long method;
        std::vector<tVariant> params;
    } calls[] = {
        {kClose, {I4(1)}},
        {kClearGoods, {R8Value(1)}},
        {kCloseConnection, {Empty()}},
        {kUploadGoods, {Wide(id), I4(0), Wide(id)}},
        {kUploadGoods, {Wide(id), Wide(doc), Empty()}},
        {kConnectByEthernet, {Wide(id), I4(5001)}},
        {kSetPathDllFolder, {I4(0)}},
        {kSendMessageV1, {Wide(id), I4(1), I4(2), I4(20)}},
        {kSendGoodToScalesV1,
         {Wide(id), I4(2), I4(0), I4(0), I4(0), I4(0), I4(0), I4(0), I4(0), I4(0), I4(0), I4(0),
          I4(0), I4(0), I4(0)}},
        {kAddHotKey, {I4(1), I4(1), I4(1)}},
    };
    for (auto c : calls) {
        EXPECT_FALSE(Call(c.method, c.params)) << c.method;
        EXPECT_EQ(result_.vt, VTYPE_I4) << c.method;
    }
    EXPECT_EQ(driver_.Devices().LastError(), 7);
    EXPECT_EQ(driver_.Devices().RegisteredCount(), 0);
    EXPECT_EQ(driver_.Devices().FolderPath(), u"");
}

TEST_F(DriverTest, UploadToUnknownDeviceAndEmptyDocuments) {
    const std::u16string id = u"NOBODY", empty = u"<Goods/>", broken = u"", one = u"<G><A/></G>";
    driver_.Devices().SetLastError(3);
    EXPECT_TRUE(Run(kUploadGoods, {Wide(id), Wide(empty), Wide(id)}));
    EXPECT_EQ(driver_.Devices().LastError(), 3);  // nothing sent: unchanged
    EXPECT_FALSE(Run(kUploadGoods, {Wide(id), Wide(broken), Wide(id)}));
    EXPECT_EQ(driver_.Devices().LastError(), 3);
    EXPECT_FALSE(Run(kUploadGoods, {Wide(id), Wide(one), Wide(id)}));
    EXPECT_EQ(driver_.Devices().LastError(), 8);
}

TEST_F(DriverTest, OutParametersNeedTheHostsMemory) {
    CAddInNative bare;  // no memory manager
    std::vector<tVariant> params = {Empty()};
    tVariant result{};
    EXPECT_FALSE(bare.CallAsFunc(kGetLastError, &result, params.data(), 1));
    EXPECT_FALSE(bare.CallAsFunc(kGetParameters, &result, params.data(), 1));
    EXPECT_FALSE(bare.CallAsFunc(0, &result, nullptr, 0));
}

// Hosts built with MSVC destroy through the deleting destructor: the object
// is destroyed, freed only when bit 0 asks for it, and `this` comes back.
TEST(ObjectLife, MsvcStyleDeletingDestructor) {
    auto* freed = new CAddInNative();
    EXPECT_EQ(freed->MsvcDeletingDestructor(1), freed);
    void* memory = ::operator new(sizeof(CAddInNative));
    auto* kept = new (memory) CAddInNative();
    EXPECT_EQ(kept->MsvcDeletingDestructor(0), memory);
    ::operator delete(memory);
}

}  // namespace
}  // namespace addin_test
