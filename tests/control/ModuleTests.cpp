// VOG.OCX as a module: its class objects, the truthful DllCanUnloadNow, and the type library
// embedded in it.
#include "ControlHarness.h"

#include "VogVersion.h"
#include "control/Identifiers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace control_tests;

namespace {

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(vog.loaded()) << vogModulePath(); }

    OleScope ole;
    VogModule vog;
};

TEST_F(ModuleTest, ClassObjectsOfBothClassesAndNoOther)
{
    for (const CLSID& clsid : {CLSID_VogCtrl, CLSID_VogPropPage}) {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(vog.getClassObject(clsid, IID_IClassFactory, factory.putVoid()), S_OK);
        // Aggregation is refused and leaves the out-pointer null.
        IUnknown* aggregated = reinterpret_cast<IUnknown*>(1);
        EXPECT_EQ(factory->CreateInstance(factory.get(), IID_IUnknown, reinterpret_cast<void**>(&aggregated)),
                  CLASS_E_NOAGGREGATION);
        EXPECT_EQ(aggregated, nullptr);
        // A new object carries exactly the reference its creator got.
        ComPtr<IUnknown> object;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.putVoid()), S_OK);
        EXPECT_EQ(object->AddRef(), 2u);
        EXPECT_EQ(object->Release(), 1u);
        EXPECT_EQ(object.detach()->Release(), 0u);
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, object.putVoid()), E_NOINTERFACE);
        EXPECT_FALSE(object);
    }
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(vog.getClassObject(LIBID_VOGLib, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
}

TEST_F(ModuleTest, CanUnloadOnlyWhileNoObjectClassObjectOrLockLives)
{
    ASSERT_EQ(vog.canUnloadNow(), S_OK);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(vog.getClassObject(CLSID_VogCtrl, IID_IClassFactory, factory.putVoid()), S_OK);
    EXPECT_EQ(vog.canUnloadNow(), S_FALSE) << "a client holds the class object";

    ComPtr<IUnknown> control;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, control.putVoid()), S_OK);
    ComPtr<IUnknown> page;
    ASSERT_EQ(vog.create(CLSID_VogPropPage, IID_IUnknown, page), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.reset();
    EXPECT_EQ(vog.canUnloadNow(), S_FALSE) << "a control, a page and a server lock";
    control.reset();
    EXPECT_EQ(vog.canUnloadNow(), S_FALSE) << "a page and a server lock";
    page.reset();
    EXPECT_EQ(vog.canUnloadNow(), S_FALSE) << "a server lock";

    ASSERT_EQ(vog.getClassObject(CLSID_VogPropPage, IID_IClassFactory, factory.putVoid()), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK) << "a lock of the server, not of one class object";
    EXPECT_EQ(factory->LockServer(FALSE), E_UNEXPECTED) << "no lock left to undo";
    factory.reset();
    EXPECT_EQ(vog.canUnloadNow(), S_OK);
}

// A host may free the library while a worker it started has not run its first instruction yet
// (on Windows CoUninitialize frees in-process servers without asking DllCanUnloadNow): the worker,
// held at its start gate meanwhile, runs on the reference taken for it before its thread existed.
TEST(ModuleLifetimeTest, TheLibraryStaysMappedUntilAWorkerHeldAtItsStartHasEnded)
{
    const wchar_t* gateName = L"VogTestWorkerStartGate";
    KernelHandle gate(CreateEventW(nullptr, TRUE, FALSE, gateName));
    ASSERT_TRUE(SetEnvironmentVariableW(L"VOG_WORKER_START_GATE", gateName));
    HMODULE module = nullptr;
    {
        OleScope ole;
        VogModule vog;
        ComPtr<IDispatch> control;
        ASSERT_EQ(vog.create(CLSID_VogCtrl, IID_IDispatch, control), S_OK);
        module = vog.handle();
        Bstr theme(L"GateTheme"), file(L"missing.vogdoc");
        VARIANT none = typedArgument(VT_EMPTY);
        ASSERT_EQ(invokeMethod(control.get(), dispidOpen, {bstrArgument(theme.get()), bstrArgument(file.get()), none, none}),
                  S_OK);
        control.reset();
        CoFreeUnusedLibraries();
    }  // CoUninitialize, FreeLibrary
    MEMORY_BASIC_INFORMATION region{};
    EXPECT_TRUE(VirtualQuery(module, &region, sizeof region) && region.Type == MEM_IMAGE);
    EXPECT_EQ(GetModuleHandleW(vogModulePathW().c_str()), module);
    SetEvent(gate.get());
    EXPECT_TRUE(testing_support::waitUntil([] { return !GetModuleHandleW(vogModulePathW().c_str()); }, 10000));
    SetEnvironmentVariableW(L"VOG_WORKER_START_GATE", nullptr);
}

TEST_F(ModuleTest, VersionResourceGivesTheFileVersionAndNamesTheFile)
{
    std::wstring path = vogModulePathW();
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(8, 2000));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(VOG_FILE_VERSION_BUILD, 5));
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    auto text = [&](const std::wstring& name) {
        wchar_t* value = nullptr;
        UINT chars = 0;
        std::wstring key = L"\\StringFileInfo\\040904B0\\" + name;
        if (!VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &chars))
            return std::wstring(L"(missing)");
        return std::wstring(chars > 0 && value ? value : L"");
    };
    EXPECT_EQ(text(L"FileVersion"), L"2000.8.5." + std::to_wstring(VOG_FILE_VERSION_BUILD));
    EXPECT_EQ(text(L"OriginalFilename"), L"VOG.OCX");
    EXPECT_EQ(text(L"CompanyName"), L"VOG project");
    EXPECT_EQ(text(L"FileDescription"), L"VOG scripting control");
    EXPECT_EQ(text(L"OLESelfRegister"), L"") << "the module registers itself";
}

// Read from the library embedded in VOG.OCX: widl damages the LIBID's last byte when a library holds
// an interface deriving from IDispatch.
TEST_F(ModuleTest, EmbeddedTypeLibraryIsVogLibWithItsIdentity)
{
    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(vogModulePathW().c_str(), REGKIND_NONE, library.put()), S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, LIBID_VOGLib);
    EXPECT_EQ(attributes->wMajorVerNum, 2000);
    EXPECT_EQ(attributes->wMinorVerNum, 805);
    EXPECT_EQ(attributes->lcid, 1033u);
    library->ReleaseTLibAttr(attributes);

    BSTR name = nullptr;
    BSTR help = nullptr;
    BSTR helpFile = nullptr;
    ASSERT_EQ(library->GetDocumentation(-1, &name, &help, nullptr, &helpFile), S_OK);
    EXPECT_STREQ(name, L"VOGLib");
    EXPECT_STREQ(help, L"vog ActiveX Control module");
    EXPECT_STREQ(helpFile, L"vog.hlp");
    SysFreeString(name);
    SysFreeString(help);
    SysFreeString(helpFile);
    EXPECT_EQ(library->GetTypeInfoCount(), 3u);
}

struct TypeDescription {
    TYPEKIND kind = TKIND_MAX;
    WORD flags = 0;
    WORD functions = 0;
    std::wstring help;
};

TypeDescription describe(ITypeLib* library, REFGUID guid, ComPtr<ITypeInfo>& info)
{
    TypeDescription description;
    TYPEATTR* attributes = nullptr;
    if (FAILED(library->GetTypeInfoOfGuid(guid, info.put())) || FAILED(info->GetTypeAttr(&attributes)))
        return description;
    description.kind = attributes->typekind;
    description.flags = attributes->wTypeFlags;
    description.functions = attributes->cFuncs;
    info->ReleaseTypeAttr(attributes);
    BSTR help = nullptr;
    info->GetDocumentation(MEMBERID_NIL, nullptr, &help, nullptr, nullptr);
    description.help = help ? help : L"";
    SysFreeString(help);
    return description;
}

TEST_F(ModuleTest, TypeLibraryDescribesOpenTheEventsAndTheControlClass)
{
    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(vogModulePathW().c_str(), REGKIND_NONE, library.put()), S_OK);

    ComPtr<ITypeInfo> dispatch;
    TypeDescription vog = describe(library.get(), DIID_DVog, dispatch);
    EXPECT_EQ(vog.kind, TKIND_DISPATCH);
    EXPECT_TRUE(vog.flags & TYPEFLAG_FHIDDEN);
    EXPECT_EQ(vog.help, L"Dispatch interface for Vog Control");
    ASSERT_EQ(vog.functions, 1) << "open and nothing else";
    FUNCDESC* function = nullptr;
    ASSERT_EQ(dispatch->GetFuncDesc(0, &function), S_OK);
    EXPECT_EQ(function->memid, dispidOpen);
    EXPECT_EQ(function->elemdescFunc.tdesc.vt, VT_VOID);
    ASSERT_EQ(function->cParams, 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(function->lprgelemdescParam[i].tdesc.vt, VT_BSTR) << i;
    dispatch->ReleaseFuncDesc(function);

    ComPtr<ITypeInfo> events;
    TypeDescription vogEvents = describe(library.get(), DIID_DVogEvents, events);
    EXPECT_EQ(vogEvents.kind, TKIND_DISPATCH);
    EXPECT_EQ(vogEvents.functions, 0);
    EXPECT_EQ(vogEvents.help, L"Event interface for Vog Control");

    ComPtr<ITypeInfo> coclass;
    TypeDescription control = describe(library.get(), CLSID_VogCtrl, coclass);
    EXPECT_EQ(control.kind, TKIND_COCLASS);
    EXPECT_TRUE(control.flags & TYPEFLAG_FCANCREATE);
    EXPECT_EQ(control.help, L"Vog Control");
    const struct {
        GUID iid;
        int flags;
    } implemented[] = {{DIID_DVog, IMPLTYPEFLAG_FDEFAULT},
                       {DIID_DVogEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}};
    for (UINT i = 0; i < 2; ++i) {
        int flags = 0;
        HREFTYPE reference = 0;
        ComPtr<ITypeInfo> interfaceInfo;
        TYPEATTR* attributes = nullptr;
        EXPECT_EQ(coclass->GetImplTypeFlags(i, &flags), S_OK);
        EXPECT_EQ(flags, implemented[i].flags) << i;
        ASSERT_EQ(coclass->GetRefTypeOfImplType(i, &reference), S_OK);
        ASSERT_EQ(coclass->GetRefTypeInfo(reference, interfaceInfo.put()), S_OK);
        ASSERT_EQ(interfaceInfo->GetTypeAttr(&attributes), S_OK);
        EXPECT_EQ(attributes->guid, implemented[i].iid) << i;
        interfaceInfo->ReleaseTypeAttr(attributes);
    }
}

}  // namespace
