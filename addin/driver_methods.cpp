// Driver methods that work on the device table and the scales.  Each handler
// first checks every string parameter's type (a wrong type fails the call with
// nothing done), then reads its parameters, then does the work; the outcome
// goes to the return value and the last error.
#include <algorithm>
#include <string>

#include "addin/device_table.h"
#include "addin/ethernet_address.h"
#include "addin/fixed_texts.h"
#include "addin/goods_document.h"
#include "addin/goods_report.h"
#include "addin/host_values.h"
#include "addin/method_handlers.h"
#include "addin/settings_document.h"
#include "scales/error_table.h"
#include "text/codepage.h"
#include "text/file_access.h"
#include "text/xml.h"
#include "text/xstring.h"

namespace addin {
namespace {

// DeviceIDs and network hosts travel as 8-bit text; the add-in's own DeviceIDs
// are hexadecimal digits, so the code page never changes them.
std::string NarrowParam(const MethodCall& call, int number) {
    return text::Utf16ToSystem(ReadStringValue(call.Param(number)));
}

int32_t NumberParam(const MethodCall& call, int number) {
    return ReadNumberValue(call.Param(number));
}

// The result rule of the per-device methods: the code becomes the last error,
// and the return value is true exactly for 0.
bool ReportDeviceResult(MethodCall& call, int32_t code) {
    call.table.SetLastError(code);
    WriteBool(call.result, code == scales::kOk);
    return true;
}

// Runs `operation` on the scales registered under the DeviceID in parameter
// 1; 8 when none is.
template <typename Operation>
bool CallDeviceByIdParam(MethodCall& call, Operation operation) {
    IScalesObject* device = call.table.FindDevice(NarrowParam(call, 1).c_str());
    if (device == nullptr) return ReportDeviceResult(call, scales::kErrDeviceNotFound);
    return ReportDeviceResult(call, operation(*device));
}

// A method that would change state refuses to start when the host has no
// memory for its string result: the call fails, nothing is done, and the last
// error says why.
bool RefuseForHostMemory(MethodCall& call) {
    call.table.SetLastError(scales::kErrHostMemory);
    return false;
}

bool EndsWithBackslash(const std::u16string& path) {
    return !path.empty() && path.back() == u'\\';
}

// Sends every good of the document in order to the scales registered under
// `deviceId`.  The whole document is checked first, with the scales' label
// settings: a good that is malformed or that the goods record cannot hold
// sends nothing at all, not even a clock, so the scales never hold half a new
// table.  Then each good's result becomes the last error, and the first that
// the scales do not take ends the walk, with a text that names it and says
// how many went before it.  A document without goods needs no scales and
// leaves the last error alone.
bool SendGoodsOfDocument(CDeviceTable& table, const std::string& deviceId, ClsXml& root) {
    const int count = root.ChildCount();
    if (count == 0) return true;
    IScalesObject* device = table.FindDevice(deviceId.c_str());
    if (device == nullptr) {
        table.SetLastError(scales::kErrDeviceNotFound);
        return false;
    }
    const CheckedGoods checked = CheckGoods(root, device->Labels(), CheckScope::kFirstError);
    if (!checked.errors.empty()) {
        const GoodsProblem& first = checked.errors.front();
        table.SetLastError(first.code, DescribeProblem(first));
        return false;
    }
    const int total = static_cast<int>(checked.goods.size());
    for (int i = 0; i < total; ++i) {
        const GoodsItem& good = checked.goods[static_cast<size_t>(i)];
        const int32_t code =
            device->SendGoodToScalesV1(text::Utf8ToUtf16(good.name),
                                       scales::LabelledGood(device->Labels(), good.code, good.plu,
                                                            good.price, good.shelfLife));
        if (code != scales::kOk) {
            table.SetLastError(code, DescribeFailedGood(PlaceOf(root, i), total, i));
            return false;
        }
        table.SetLastError(code);
    }
    return true;
}

// The demonstration good goes as any uploaded good does: with the scales'
// label settings.  8 when the scales could not be registered.
int32_t SendDemoGood(CDeviceTable& table, const std::string& deviceId) {
    IScalesObject* device = table.FindDevice(deviceId.c_str());
    if (device == nullptr) return scales::kErrDeviceNotFound;
    return device->SendGoodToScalesV1(
        kDemoGoodName, scales::LabelledGood(device->Labels(), kDemoGoodCode, kDemoGoodPlu,
                                            kDemoGoodPrice, kDemoGoodShelfLife));
}

}  // namespace

bool GetLastErrorMethod(MethodCall& call) {
    if (!WriteString(call.Param(1), call.table.ErrorText(), call.memory)) return false;
    WriteUi4(call.result, static_cast<uint32_t>(call.table.LastError()));
    return true;
}

bool GetParameters(MethodCall& call) {
    if (!WriteString(call.Param(1), SettingsDocument(), call.memory)) return false;
    WriteBool(call.result, true);
    return true;
}

bool SetParameter(MethodCall& call) {
    if (!StringParamsPresent(call, {1})) return false;
    const std::u16string name = ReadStringValue(call.Param(1));
    if (!StoreSetting(call.table.Settings(), name, call.Param(2))) return false;
    WriteBool(call.result, true);
    return true;
}

// Open succeeds as a call even when the connection test fails: that shows
// only in the last error, and the scales stay registered to be reached later.
// The host's memory for the DeviceID is taken first: scales registered under
// an ID the host never learns could only be released with the whole object.
bool Open(MethodCall& call) {
    const std::string deviceId = CDeviceTable::NewDeviceId();
    const std::u16string hostId = text::SystemToUtf16(deviceId);
    HostString out(call.memory, hostId.size());
    if (!out.Reserved()) return RefuseForHostMemory(call);
    call.table.OpenDevice(deviceId);
    out.HandOver(call.Param(1), hostId);
    WriteBool(call.result, true);
    return true;
}

bool Close(MethodCall& call) {
    if (!StringParamsPresent(call, {1})) return false;
    call.table.CloseDevice(NarrowParam(call, 1).c_str());
    WriteBool(call.result, true);
    return true;
}

// Registers scales with the current settings, programs the demonstration good
// and releases the scales again.  The description tells the outcome; the last
// error is 0 afterwards whatever happened.  Which text that is, is known only
// at the end, so host memory for the longest of them is taken first.
bool DeviceTest(MethodCall& call) {
    CDeviceTable& table = call.table;
    const size_t longest = std::max(std::char_traits<char16_t>::length(kDemoSuccessText),
                                    scales::LongestErrorText(table.FolderPath()));
    HostString out(call.memory, longest);
    if (!out.Reserved()) return RefuseForHostMemory(call);
    const std::string deviceId = CDeviceTable::NewDeviceId();
    table.OpenDevice(deviceId);
    const int32_t code = SendDemoGood(table, deviceId);
    const std::u16string description =
        code == scales::kOk ? kDemoSuccessText : scales::ErrorText(code, table.FolderPath());
    table.CloseDevice(deviceId.c_str());
    out.HandOver(call.Param(1), description);
    WriteBool(call.result, code == scales::kOk);
    return true;
}

// True when every good of the document was programmed (also for a document
// without goods); false when it does not load, is not well-formed (the last
// error then gives the line and column of its first fault), has a bad good,
// or a good fails.  Otherwise the last error is the result of the last good
// sent.
bool UploadGoods(MethodCall& call) {
    if (!StringParamsPresent(call, {1, 2, 3})) return false;
    const std::string deviceId = NarrowParam(call, 1);
    const XString documentText(ReadStringValue(call.Param(2)).c_str());
    ClsXml root;
    bool sent = false;
    if (root.LoadXml(documentText)) {
        root.GetRoot2();
        const XmlFault fault = root.Fault();
        if (fault.kind != XmlFault::Kind::kNone) {
            call.table.SetLastError(scales::kErrDocumentMarkup, DescribeFault(fault));
        } else {
            sent = SendGoodsOfDocument(call.table, deviceId, root);
        }
    }
    WriteBool(call.result, sent);
    return true;
}

bool ClearGoods(MethodCall& call) {
    if (!StringParamsPresent(call, {1})) return false;
    return CallDeviceByIdParam(call, [](IScalesObject& device) { return device.ClearGoods(); });
}

bool ConnectByEthernet(MethodCall& call) {
    if (!StringParamsPresent(call, {1, 2})) return false;
    const std::string deviceId = NarrowParam(call, 1);
    const EthernetAddress address = ParseEthernetAddress(ReadStringValue(call.Param(2)));
    const std::string host = text::Utf16ToSystem(address.host);
    const int32_t code = call.table.ConnectDevice(
        host.c_str(), address.port, scales::ConnectionKind::kEthernet, deviceId.c_str());
    WriteBool(call.result, code == scales::kOk);
    return true;
}

// Parameters 3 to 15 are the goods record's integers in the host's order.
bool SendGoodToScalesV1(MethodCall& call) {
    if (!StringParamsPresent(call, {1, 2})) return false;
    const std::u16string name = ReadStringValue(call.Param(2));
    scales::GoodsFields fields;
    int32_t* const order[] = {
        &fields.code,       &fields.plu,           &fields.labelNumber, &fields.labelExtra,
        &fields.department, &fields.barcodeFormat, &fields.price,       &fields.weightMeasure,
        &fields.shelfLife,  &fields.extra1,        &fields.extra2,      &fields.extra3,
        &fields.extra4,
    };
    constexpr int kFirstNumberParam = 3;
    for (int i = 0; i < static_cast<int>(sizeof order / sizeof order[0]); ++i) {
        *order[i] = ReadFieldValue(call.Param(kFirstNumberParam + i));
    }
    return CallDeviceByIdParam(
        call, [&](IScalesObject& device) { return device.SendGoodToScalesV1(name, fields); });
}

// The folder is stored whatever the check gives, ending in "\" as the host
// shows folders; the check itself takes the path as the host wrote it.
bool SetPathDllFolder(MethodCall& call) {
    if (!StringParamsPresent(call, {1})) return false;
    const std::u16string path = ReadStringValue(call.Param(1));
    call.table.SetFolderPath(EndsWithBackslash(path) ? path : path + u"\\");
    XString osPath;
    osPath.setFromWideN(path.data(), path.size());
    const bool isDirectory = ClsFileAccess::FileType(osPath) == ClsFileAccess::kDirectory;
    call.table.SetLastError(isDirectory ? scales::kOk : scales::kErrBadFolder);
    WriteBool(call.result, isDirectory);
    return true;
}

bool SendMessageV1(MethodCall& call) {
    if (!StringParamsPresent(call, {1, 3})) return false;
    const int32_t number = NumberParam(call, 2);
    const std::u16string messageText = ReadStringValue(call.Param(3));
    const int32_t lineWidth = NumberParam(call, 4);
    return CallDeviceByIdParam(call, [&](IScalesObject& device) {
        return device.SendMessageV1(number, messageText, lineWidth);
    });
}

bool StartSendMessages(MethodCall& call) {
    if (!StringParamsPresent(call, {1})) return false;
    return CallDeviceByIdParam(call,
                               [](IScalesObject& device) { return device.StartSendMessages(); });
}

bool SendHotKeys(MethodCall& call) {
    if (!StringParamsPresent(call, {1})) return false;
    return CallDeviceByIdParam(call, [](IScalesObject& device) { return device.SendHotKeys(); });
}

bool AddHotKey(MethodCall& call) {
    if (!StringParamsPresent(call, {1})) return false;
    const auto code = static_cast<uint32_t>(NumberParam(call, 2));
    const int32_t keyNumber = NumberParam(call, 3);
    return CallDeviceByIdParam(
        call, [&](IScalesObject& device) { return device.AddHotKey(code, keyNumber); });
}

bool PrepareSendHotKeys(MethodCall& call) {
    if (!StringParamsPresent(call, {1})) return false;
    return CallDeviceByIdParam(call,
                               [](IScalesObject& device) { return device.PrepareSendHotKeys(); });
}

}  // namespace addin
