// Handlers of the host's methods, one per table entry (method_table.cpp).
// Fixed answers are in fixed_answers.cpp, the methods that work on the device
// table and the scales in driver_methods.cpp.
#pragma once

#include <initializer_list>

#include "addin/method_table.h"

namespace addin {

// True when every listed parameter is a string (PSTR or PWSTR).
bool StringParamsPresent(const MethodCall& call, std::initializer_list<int> numbers);

bool GetVersion(MethodCall& call);
bool GetDescription(MethodCall& call);
bool GetLastErrorMethod(MethodCall& call);
bool GetParameters(MethodCall& call);
bool SetParameter(MethodCall& call);
bool Open(MethodCall& call);
bool Close(MethodCall& call);
bool DeviceTest(MethodCall& call);
bool GetAdditionalActions(MethodCall& call);
bool DoAdditionalAction(MethodCall& call);
bool UploadGoods(MethodCall& call);
bool ClearGoods(MethodCall& call);
bool ConnectByEthernet(MethodCall& call);
bool NoAction(MethodCall& call);
bool CloseConnection(MethodCall& call);
bool SendGoodToScalesV1(MethodCall& call);
bool GetInterfaceRevision(MethodCall& call);
bool SetPathDllFolder(MethodCall& call);
bool GetBuilderInfo(MethodCall& call);
bool SendMessageV1(MethodCall& call);
bool StartSendMessages(MethodCall& call);
bool SendHotKeys(MethodCall& call);
bool AddHotKey(MethodCall& call);
bool PrepareSendHotKeys(MethodCall& call);

}  // namespace addin
