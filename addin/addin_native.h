// CAddInNative: the object the host creates through GetClassObject and talks
// to through its three interface views (init/done, language extension,
// locale).  It owns one device table; the host's connection and memory
// manager are lent to it and never freed here.
//
// Every interface method catches everything: no exception reaches the host.
#pragma once

#include "addin/device_table.h"
#include "sdk/component_base.h"
#include "transport/networking.h"

class CAddInNative final : public IComponentBase {
  public:
    CAddInNative();
    ~CAddInNative();
    CAddInNative(const CAddInNative&) = delete;
    CAddInNative& operator=(const CAddInNative&) = delete;

    // The host built with MSVC destroys an object through the first slot of
    // any view: run the destructor, free the memory when flag bit 0 is set,
    // return this.  Where the interfaces declare that slot (Windows builds)
    // this overrides it; elsewhere it is an ordinary member.
    void* MsvcDeletingDestructor(unsigned int flags);

    // IInitDoneBase
    bool ADDIN_API Init(void* connection) override;
    bool ADDIN_API setMemManager(void* memory) override;
    long ADDIN_API GetInfo() override;
    void ADDIN_API Done() override;

    // ILanguageExtenderBase
    bool ADDIN_API RegisterExtensionAs(WCHAR_T** extensionName) override;
    long ADDIN_API GetNProps() override;
    long ADDIN_API FindProp(const WCHAR_T* propName) override;
    const WCHAR_T* ADDIN_API GetPropName(long propNum, long propAlias) override;
    bool ADDIN_API GetPropVal(const long propNum, tVariant* propVal) override;
    bool ADDIN_API SetPropVal(const long propNum, tVariant* propVal) override;
    bool ADDIN_API IsPropReadable(const long propNum) override;
    bool ADDIN_API IsPropWritable(const long propNum) override;
    long ADDIN_API GetNMethods() override;
    long ADDIN_API FindMethod(const WCHAR_T* methodName) override;
    const WCHAR_T* ADDIN_API GetMethodName(const long methodNum, const long methodAlias) override;
    long ADDIN_API GetNParams(const long methodNum) override;
    bool ADDIN_API GetParamDefValue(const long methodNum, const long paramNum,
                                    tVariant* paramDefValue) override;
    bool ADDIN_API HasRetVal(const long methodNum) override;
    bool ADDIN_API CallAsProc(const long methodNum, tVariant* params, const long count) override;
    bool ADDIN_API CallAsFunc(const long methodNum, tVariant* retValue, tVariant* params,
                              const long count) override;

    // LocaleBase
    void ADDIN_API SetLocale(const WCHAR_T* locale) override;

    // For tests: the state behind the driver methods.
    CDeviceTable& Devices() { return devices_; }

  private:
    // Keeps the system's networking, once a port has started it, until the
    // last object is gone.  First member: it ends after the device table has
    // closed every port.
    transport::NetworkingUse networking_;
    void* connection_ = nullptr;        // the host's IAddInDefBase, only stored
    IMemoryManager* memory_ = nullptr;  // every string handed to the host comes from here
    CDeviceTable devices_;
};
