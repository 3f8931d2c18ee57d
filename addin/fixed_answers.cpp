// Methods whose answers are fixed: they need neither the device table nor the
// scales.
#include <iterator>
#include <string_view>

#include "addin/fixed_texts.h"
#include "addin/host_values.h"
#include "addin/method_handlers.h"

namespace addin {

bool GetVersion(MethodCall& call) {
    return WriteString(call.result, kVersion, call.memory);
}

// What the host's equipment-driver conventions ask a driver to describe:
// name, description, equipment type, interface revision, then two flags
// (integration component: no; main driver installed: yes) and the download
// address of a driver distribution (none).  All four strings are allocated
// before any out-parameter is written: the host sees all seven or none.
bool GetDescription(MethodCall& call) {
    constexpr bool kIntegrationComponent = false;
    constexpr bool kMainDriverInstalled = true;
    constexpr std::u16string_view kNoDownload = u"";
    HostString name(call.memory, std::size(kExtensionName) - 1);
    HostString description(call.memory, std::size(kDriverDescription) - 1);
    HostString type(call.memory, std::size(kEquipmentType) - 1);
    HostString download(call.memory, kNoDownload.size());
    if (!name.Reserved() || !description.Reserved() || !type.Reserved() || !download.Reserved()) {
        return false;
    }
    name.HandOver(call.Param(1), kExtensionName);
    description.HandOver(call.Param(2), kDriverDescription);
    type.HandOver(call.Param(3), kEquipmentType);
    WriteUi4(call.Param(4), kInterfaceRevision);
    WriteBool(call.Param(5), kIntegrationComponent);
    WriteBool(call.Param(6), kMainDriverInstalled);
    download.HandOver(call.Param(7), kNoDownload);
    WriteBool(call.result, true);
    return true;
}

// The scales have no additional actions: the out-parameter is left as given.
bool GetAdditionalActions(MethodCall& call) {
    WriteBool(call.result, true);
    return true;
}

bool DoAdditionalAction(MethodCall& call) {
    WriteBool(call.result, true);
    return true;
}

// ConnectByRS232 and GetWeight are listed for the host but have no action:
// the scales offer no weight exchange and serial connections are made by Open.
bool NoAction(MethodCall&) {
    return false;
}

// Connections are closed by Close; this one only checks its DeviceID is text.
bool CloseConnection(MethodCall& call) {
    if (!StringParamsPresent(call, {1})) return false;
    WriteBool(call.result, true);
    return true;
}

bool GetInterfaceRevision(MethodCall& call) {
    WriteUi4(call.result, kInterfaceRevision);
    return true;
}

bool GetBuilderInfo(MethodCall& call) {
    return WriteString(call.result, kBuilderInfo, call.memory);
}

}  // namespace addin
