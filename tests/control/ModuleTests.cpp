// VOG.OCX as a module: its exports, class objects, the truthful DllCanUnloadNow, and the type library
// embedded in it.
#include "ControlHarness.h"

#include "control/Identifiers.h"

#include <gtest/gtest.h>

using namespace control_tests;

namespace {

class ModuleTest : public ::testing::Test {
protected:
    // The type library embedded in VOG.OCX, loaded without registering it.
    ComPtr<ITypeLib> embeddedLibrary()
    {
        ComPtr<ITypeLib> library;
        EXPECT_EQ(LoadTypeLibEx(vogModulePathW().c_str(), REGKIND_NONE, library.put()), S_OK);
        return library;
    }

    OleScope ole;
    VogModule vog;
};

TEST_F(ModuleTest, ExportsTheFourEntryPointsByNameOnly)
{
    ASSERT_TRUE(vog.loaded()) << vogModulePath();
    EXPECT_NE(vog.registerServer, nullptr);
    EXPECT_NE(vog.unregisterServer, nullptr);
    // PRIVATE in the .def file: exported by name, with no other names beside them.
    EXPECT_EQ(GetProcAddress(vog.handle(), "DllMain"), nullptr);
}

TEST_F(ModuleTest, ClassObjectsOfBothClassesAndNoOther)
{
    ASSERT_TRUE(vog.loaded());
    for (const CLSID& clsid : {CLSID_VogCtrl, CLSID_VogPropPage}) {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(vog.getClassObject(clsid, IID_IClassFactory, factory.putVoid()), S_OK);
        ASSERT_TRUE(factory);
        ComPtr<IUnknown> unknown;
        EXPECT_EQ(factory.query(IID_IUnknown, unknown), S_OK);

        // Aggregation is refused and leaves the out-pointer null.
        ComPtr<IUnknown> outer(unknown.get());
        IUnknown* aggregated = reinterpret_cast<IUnknown*>(1);
        EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IUnknown, reinterpret_cast<void**>(&aggregated)),
                  CLASS_E_NOAGGREGATION);
        EXPECT_EQ(aggregated, nullptr);
    }
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(vog.getClassObject(LIBID_VOGLib, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    ComPtr<IUnknown> wrongInterface;
    EXPECT_EQ(vog.getClassObject(CLSID_VogCtrl, IID_IDispatch, wrongInterface.putVoid()), E_NOINTERFACE);
}

TEST_F(ModuleTest, NewObjectsCarryExactlyTheReferenceTheCallerGot)
{
    ASSERT_TRUE(vog.loaded());
    ComPtr<IDispatch> control;
    ASSERT_EQ(vog.create(CLSID_VogCtrl, IID_IDispatch, control), S_OK);
    EXPECT_EQ(control->AddRef(), 2u);
    EXPECT_EQ(control->Release(), 1u);
    EXPECT_EQ(control.detach()->Release(), 0u);

    ComPtr<IPropertyPage> page;
    ASSERT_EQ(vog.create(CLSID_VogPropPage, IID_IPropertyPage, page), S_OK);
    EXPECT_EQ(page.detach()->Release(), 0u);

    ComPtr<IUnknown> missing;
    EXPECT_EQ(vog.create(CLSID_VogCtrl, IID_IClassFactory, missing), E_NOINTERFACE);
    EXPECT_FALSE(missing);
}

TEST_F(ModuleTest, CanUnloadOnlyWhileNoObjectClassObjectOrLockLives)
{
    ASSERT_TRUE(vog.loaded());
    ASSERT_EQ(vog.canUnloadNow(), S_OK);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(vog.getClassObject(CLSID_VogCtrl, IID_IClassFactory, factory.putVoid()), S_OK);
    EXPECT_EQ(vog.canUnloadNow(), S_FALSE) << "a client holds the class object";

    ComPtr<IUnknown> control;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, control.putVoid()), S_OK);
    ComPtr<IClassFactory> pageFactory;
    ASSERT_EQ(vog.getClassObject(CLSID_VogPropPage, IID_IClassFactory, pageFactory.putVoid()), S_OK);
    ComPtr<IUnknown> page;
    ASSERT_EQ(pageFactory->CreateInstance(nullptr, IID_IUnknown, page.putVoid()), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.reset();
    pageFactory.reset();

    EXPECT_EQ(vog.canUnloadNow(), S_FALSE) << "a control, a page and a server lock";
    control.reset();
    EXPECT_EQ(vog.canUnloadNow(), S_FALSE) << "a page and a server lock";
    page.reset();
    EXPECT_EQ(vog.canUnloadNow(), S_FALSE) << "a server lock";

    ASSERT_EQ(vog.getClassObject(CLSID_VogCtrl, IID_IClassFactory, factory.putVoid()), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.reset();
    EXPECT_EQ(vog.canUnloadNow(), S_OK);
}

// The LIBID is read from the library embedded in VOG.OCX: widl damages its last byte when a library
// holds an interface deriving from IDispatch.
TEST_F(ModuleTest, EmbeddedTypeLibraryIsVogLibWithItsIdentity)
{
    ComPtr<ITypeLib> library = embeddedLibrary();
    ASSERT_TRUE(library);
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
    TYPEKIND kind;
    WORD flags;
    WORD functions;
    WORD implemented;
    std::wstring name;
    std::wstring help;
};

TypeDescription describe(ITypeInfo* info)
{
    TYPEATTR* attributes = nullptr;
    TypeDescription description = {};
    if (FAILED(info->GetTypeAttr(&attributes)))
        return description;
    description.kind = attributes->typekind;
    description.flags = attributes->wTypeFlags;
    description.functions = attributes->cFuncs;
    description.implemented = attributes->cImplTypes;
    info->ReleaseTypeAttr(attributes);
    BSTR name = nullptr;
    BSTR help = nullptr;
    info->GetDocumentation(MEMBERID_NIL, &name, &help, nullptr, nullptr);
    description.name = name ? name : L"";
    description.help = help ? help : L"";
    SysFreeString(name);
    SysFreeString(help);
    return description;
}

TEST_F(ModuleTest, DispatchInterfaceHasOnlyOpenWithFourStrings)
{
    ComPtr<ITypeLib> library = embeddedLibrary();
    ASSERT_TRUE(library);

    ComPtr<ITypeInfo> dispatch;
    ASSERT_EQ(library->GetTypeInfoOfGuid(DIID_DVog, dispatch.put()), S_OK);
    TypeDescription vog = describe(dispatch.get());
    EXPECT_EQ(vog.kind, TKIND_DISPATCH);
    EXPECT_TRUE(vog.flags & TYPEFLAG_FHIDDEN);
    EXPECT_EQ(vog.name, L"_DVog");
    EXPECT_EQ(vog.help, L"Dispatch interface for Vog Control");
    // Members of IDispatch itself are not listed for a dispinterface: open is the only one.
    ASSERT_EQ(vog.functions, 1);

    FUNCDESC* function = nullptr;
    ASSERT_EQ(dispatch->GetFuncDesc(0, &function), S_OK);
    EXPECT_EQ(function->memid, dispidOpen);
    EXPECT_EQ(function->invkind, INVOKE_FUNC);
    EXPECT_EQ(function->elemdescFunc.tdesc.vt, VT_VOID);
    ASSERT_EQ(function->cParams, 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(function->lprgelemdescParam[i].tdesc.vt, VT_BSTR) << i;
    dispatch->ReleaseFuncDesc(function);
    BSTR names[5] = {};
    UINT count = 0;
    ASSERT_EQ(dispatch->GetNames(dispidOpen, names, 5, &count), S_OK);
    ASSERT_EQ(count, 5u);
    const wchar_t* expected[] = {L"open", L"theme", L"file", L"intFile", L"info"};
    for (UINT i = 0; i < count; ++i) {
        EXPECT_STREQ(names[i], expected[i]);
        SysFreeString(names[i]);
    }

    ComPtr<ITypeInfo> events;
    ASSERT_EQ(library->GetTypeInfoOfGuid(DIID_DVogEvents, events.put()), S_OK);
    TypeDescription vogEvents = describe(events.get());
    EXPECT_EQ(vogEvents.kind, TKIND_DISPATCH);
    EXPECT_EQ(vogEvents.functions, 0);
    EXPECT_EQ(vogEvents.name, L"_DVogEvents");
    EXPECT_EQ(vogEvents.help, L"Event interface for Vog Control");
}

TEST_F(ModuleTest, CoclassVogHasTheDispatchAndEventInterfacesAsDefaults)
{
    ComPtr<ITypeLib> library = embeddedLibrary();
    ASSERT_TRUE(library);
    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_VogCtrl, coclass.put()), S_OK);
    TypeDescription vog = describe(coclass.get());
    EXPECT_EQ(vog.kind, TKIND_COCLASS);
    EXPECT_TRUE(vog.flags & TYPEFLAG_FCANCREATE);
    EXPECT_TRUE(vog.flags & TYPEFLAG_FCONTROL);
    EXPECT_EQ(vog.name, L"Vog");
    EXPECT_EQ(vog.help, L"Vog Control");
    ASSERT_EQ(vog.implemented, 2);

    const struct {
        GUID iid;
        int flags;
    } expected[] = {{DIID_DVog, IMPLTYPEFLAG_FDEFAULT},
                    {DIID_DVogEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}};
    for (UINT i = 0; i < 2; ++i) {
        int flags = 0;
        EXPECT_EQ(coclass->GetImplTypeFlags(i, &flags), S_OK);
        EXPECT_EQ(flags, expected[i].flags) << i;
        HREFTYPE reference = 0;
        ASSERT_EQ(coclass->GetRefTypeOfImplType(i, &reference), S_OK);
        ComPtr<ITypeInfo> implemented;
        ASSERT_EQ(coclass->GetRefTypeInfo(reference, implemented.put()), S_OK);
        TYPEATTR* attributes = nullptr;
        ASSERT_EQ(implemented->GetTypeAttr(&attributes), S_OK);
        EXPECT_EQ(attributes->guid, expected[i].iid) << i;
        implemented->ReleaseTypeAttr(attributes);
    }
}

}  // namespace
