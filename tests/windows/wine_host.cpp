#include "tests/windows/wine_host.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace wine_test {

bool ADDIN_API CountingMemory::AllocMemory(void** pMemory, unsigned long ulCountByte) {
    *pMemory = std::malloc(ulCountByte ? ulCountByte : 1);
    if (*pMemory) ++allocations;
    return *pMemory != nullptr;
}

void ADDIN_API CountingMemory::FreeMemory(void** pMemory) {
    if (!*pMemory) return;
    std::free(*pMemory);
    *pMemory = nullptr;
    ++frees;
}

tVariant Text(const std::u16string& text) {
    tVariant v{};
    v.vt = VTYPE_PWSTR;
    v.pwstrVal = reinterpret_cast<WCHAR_T*>(const_cast<char16_t*>(text.c_str()));
    v.wstrLen = static_cast<uint32_t>(text.size());
    return v;
}

tVariant Number(int value) {
    tVariant v{};
    v.vt = VTYPE_I4;
    v.lVal = value;
    return v;
}

tVariant Empty() {
    return tVariant{};
}

std::u16string Utf16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

std::string EnvOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

namespace {

// A Linux path names the same file on Wine's Z: drive.
std::string WindowsPath(const std::string& path) {
    return !path.empty() && path[0] == '/' ? "Z:" + path : path;
}

std::string MakeFolder() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    static int serial = 0;
    std::string folder = std::string(temp) + "rls-wine-" + std::to_string(GetCurrentProcessId()) +
                         "-" + std::to_string(++serial);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

// An export by plain name, as the cdecl function it is (FARPROC's own type
// says nothing about the arguments; casting through void(*)() says so).
template <typename Function>
Function Export(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

std::u16string TakeHostString(tVariant& v, CountingMemory& memory) {
    if (v.vt != VTYPE_PWSTR || !v.pwstrVal) return {};
    std::u16string text(reinterpret_cast<const char16_t*>(v.pwstrVal), v.wstrLen);
    void* p = v.pwstrVal;
    memory.FreeMemory(&p);
    v.pwstrVal = nullptr;
    return text;
}

}  // namespace

// The tests load and free the add-in many times in one process.  Once Wine's
// ws2_32 has been unloaded and loaded again, every call on a new socket fails
// with WSAENOTSOCK (seen with plain Winsock calls, without the add-in), so
// this host keeps ws2_32 loaded, as the platform's own process does.
static void KeepWinsockLoaded() {
    static HMODULE winsock = LoadLibraryA("ws2_32.dll");
    (void)winsock;
}

AddInUnderTest::AddInUnderTest(const std::string& dllPath, bool withLogMarker)
    : folder_(MakeFolder()) {
    KeepWinsockLoaded();
    std::string source = WindowsPath(dllPath);
    std::string name = source.substr(source.find_last_of("\\/") + 1);
    std::string copy = folder_ + "\\" + name;
    if (!CopyFileA(source.c_str(), copy.c_str(), FALSE)) return;
    if (withLogMarker) std::ofstream(folder_ + "\\log.txt") << "";
    library_ = LoadLibraryA(copy.c_str());
    if (!library_) return;
    auto create = Export<long (*)(const WCHAR_T*, IComponentBase**)>(library_, "GetClassObject");
    destroy_ = Export<long (*)(IComponentBase**)>(library_, "DestroyObject");
    if (!create || !destroy_ || !create(L"CAddInNative", &object_)) return;
    object_->setMemManager(&memory);
    static int connection;
    object_->Init(&connection);
}

AddInUnderTest::~AddInUnderTest() {
    if (object_) destroy_(&object_);
    if (library_) FreeLibrary(library_);
    for (const std::string& name : FilesIn(folder_, "*")) {
        DeleteFileA((folder_ + "\\" + name).c_str());
    }
    RemoveDirectoryA(folder_.c_str());
}

long AddInUnderTest::FindMethod(const std::u16string& name) {
    ILanguageExtenderBase* language = object_;
    return language->FindMethod(reinterpret_cast<const WCHAR_T*>(name.c_str()));
}

void AddInUnderTest::SetLocale(const std::u16string& name) {
    LocaleBase* locale = object_;
    locale->SetLocale(reinterpret_cast<const WCHAR_T*>(name.c_str()));
}

AddInUnderTest::Result AddInUnderTest::Call(const char* method, std::vector<tVariant> params) {
    Result result;
    ILanguageExtenderBase* language = object_;
    // Strings we pass in are ours; a string that appears in a parameter we
    // passed empty was written by the add-in and is the host's to free.
    std::vector<bool> passedText;
    for (const tVariant& param : params) passedText.push_back(param.vt == VTYPE_PWSTR);
    long number = FindMethod(Utf16(method));
    result.ok =
        language->CallAsFunc(number, &result.value, params.empty() ? nullptr : params.data(),
                             static_cast<long>(params.size()));
    result.text = TakeHostString(result.value, memory);
    for (size_t i = 0; i < params.size(); ++i) {
        result.outTexts.push_back(passedText[i] ? std::u16string()
                                                : TakeHostString(params[i], memory));
    }
    return result;
}

bool AddInUnderTest::SetParameter(const char* name, const tVariant& value) {
    std::u16string wideName = Utf16(name);
    Result r = Call("SetParameter", {Text(wideName), value});
    return r.ok && r.value.vt == VTYPE_BOOL && r.value.bVal;
}

std::string AddInUnderTest::Open() {
    Result r = Call("Open", {Empty()});
    return r.ok && !r.outTexts.empty() ? Narrow(r.outTexts[0]) : std::string();
}

unsigned AddInUnderTest::LastError(std::u16string* text) {
    Result r = Call("GetLastError", {Empty()});
    if (text && !r.outTexts.empty()) *text = r.outTexts[0];
    return r.value.ulVal;
}

bool AddInUnderTest::Boolean(const char* method, std::vector<tVariant> params) {
    Result r = Call(method, std::move(params));
    return r.ok && r.value.vt == VTYPE_BOOL && r.value.bVal;
}

std::vector<std::string> FilesIn(const std::string& folder, const char* pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace wine_test
