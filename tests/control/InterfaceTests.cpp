// The control's other interfaces, called directly as containers would (Wine's own container asks
// for IOleObject only): identity, drawing, persistence, class information, events, property pages,
// in-place activation, control information and safety.
#include "ControlHarness.h"

#include "control/Identifiers.h"
#include "control/VogCtrl.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <map>
#include <objsafe.h>
#include <olectl.h>
#include <utility>

using namespace control_tests;

namespace {

class InterfaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(vog.loaded());
        ASSERT_EQ(vog.create(CLSID_VogCtrl, IID_IUnknown, control), S_OK);
    }

    template <typename T>
    ComPtr<T> as(REFIID iid)
    {
        ComPtr<T> result;
        control.query(iid, result);
        return result;
    }

    OleScope ole;
    VogModule vog;
    ComPtr<IUnknown> control;
};

TEST_F(InterfaceTest, EveryInterfaceLeadsBackToTheSameObject)
{
    const IID interfaces[] = {IID_IDispatch, DIID_DVog, IID_IProvideClassInfo, IID_IProvideClassInfo2,
                              IID_IConnectionPointContainer, IID_IOleObject, IID_IOleWindow,
                              IID_IOleInPlaceObject, IID_IOleInPlaceActiveObject, IID_IViewObject,
                              IID_IViewObject2, IID_IPersist, IID_IPersistStreamInit, IID_IPersistStream,
                              IID_IPersistStorage, IID_IPersistPropertyBag, IID_IOleControl,
                              IID_ISpecifyPropertyPages, IID_IObjectSafety, IID_IQuickActivate};
    for (const IID& iid : interfaces) {
        ComPtr<IUnknown> facet;
        ASSERT_EQ(control.query(iid, facet), S_OK);
        ComPtr<IUnknown> identity;
        ASSERT_EQ(facet.query(IID_IUnknown, identity), S_OK);
        EXPECT_EQ(identity.get(), control.get());
    }
    ComPtr<IUnknown> missing;
    EXPECT_EQ(control.query(IID_IClassFactory, missing), E_NOINTERFACE);
    EXPECT_FALSE(missing);
}

// Some pixel of the stretch from (x0, y0) to (x1, y1) has the colour.
bool anyPixel(const PixelCanvas& canvas, int x0, int y0, int x1, int y1, DWORD colour)
{
    for (int x = x0; x <= x1; ++x)
        for (int y = y0; y <= y1; ++y)
            if (canvas.pixel(x, y) == colour)
                return true;
    return false;
}

TEST_F(InterfaceTest, DrawFillsWhiteAndDrawsTheInscribedEllipseWithTheCurrentPenAndBrush)
{
    auto view = as<IViewObject2>(IID_IViewObject2);
    ASSERT_TRUE(view);
    PixelCanvas canvas(120, 80);
    HPEN bluePen = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));
    HBRUSH redBrush = CreateSolidBrush(RGB(255, 0, 0));
    HGDIOBJ oldPen = SelectObject(canvas.dc(), bluePen);
    HGDIOBJ oldBrush = SelectObject(canvas.dc(), redBrush);

    RECTL bounds = {10, 10, 110, 70};
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc(), &bounds, nullptr, nullptr, 0),
              S_OK);
    EXPECT_EQ(canvas.pixel(5, 5), 0x808080u) << "outside the bounds";
    EXPECT_EQ(canvas.pixel(11, 11), white) << "corner of the bounds, outside the ellipse";
    EXPECT_EQ(canvas.pixel(108, 68), white);
    EXPECT_EQ(canvas.pixel(60, 40), 0xFF0000u) << "inside the ellipse: the current brush";
    EXPECT_TRUE(anyPixel(canvas, 10, 37, 10, 43, 0x0000FF)) << "left end of the outline: the current pen";
    EXPECT_TRUE(anyPixel(canvas, 57, 10, 63, 10, 0x0000FF)) << "top of the outline";
    EXPECT_TRUE(anyPixel(canvas, 57, 69, 63, 69, 0x0000FF)) << "bottom of the outline";

    EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, canvas.dc(), &bounds, nullptr, nullptr, 0),
              DV_E_DVASPECT);
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc(), nullptr, nullptr, nullptr, 0),
              E_INVALIDARG);
    SelectObject(canvas.dc(), oldPen);
    SelectObject(canvas.dc(), oldBrush);
    DeleteObject(bluePen);
    DeleteObject(redBrush);
}

TEST_F(InterfaceTest, ObjectReportsItsClassTypeNameStatusExtentAndSafety)
{
    auto object = as<IOleObject>(IID_IOleObject);
    ASSERT_TRUE(object);
    DWORD status = 0;
    EXPECT_EQ(object->GetMiscStatus(DVASPECT_CONTENT, &status), S_OK);
    EXPECT_EQ(status, 132241u);
    LPOLESTR typeName = nullptr;
    ASSERT_EQ(object->GetUserType(USERCLASSTYPE_FULL, &typeName), S_OK);
    EXPECT_STREQ(typeName, L"Vog Control");
    CoTaskMemFree(typeName);
    CLSID clsid = {};
    EXPECT_EQ(object->GetUserClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_VogCtrl);

    SIZEL extent = {5000, 2500};
    EXPECT_EQ(object->SetExtent(DVASPECT_CONTENT, &extent), S_OK);
    SIZEL read = {};
    EXPECT_EQ(object->GetExtent(DVASPECT_CONTENT, &read), S_OK);
    EXPECT_EQ(read.cx, 5000);
    EXPECT_EQ(read.cy, 2500);
    auto view = as<IViewObject2>(IID_IViewObject2);
    SIZEL viewed = {};
    EXPECT_EQ(view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &viewed), S_OK);
    EXPECT_EQ(viewed.cx, 5000);
    EXPECT_EQ(object->GetExtent(DVASPECT_ICON, &read), DV_E_DVASPECT);

    CONTROLINFO info = {};
    info.cb = sizeof info;
    info.cAccel = 5;
    EXPECT_EQ(as<IOleControl>(IID_IOleControl)->GetControlInfo(&info), S_OK);
    EXPECT_EQ(info.cAccel, 0) << "no mnemonics";

    auto safety = as<IObjectSafety>(IID_IObjectSafety);
    const DWORD both = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
    DWORD supported = 0;
    DWORD enabled = 0;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IPersistPropertyBag, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, both);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, both, both), S_OK);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(enabled, both);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACE_USES_DISPEX, INTERFACE_USES_DISPEX), E_FAIL);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IClassFactory, &supported, &enabled), E_NOINTERFACE);
}

// IPropertyBag over a map, for the property exchange.
class MemoryBag final : public IPropertyBag {
public:
    std::map<std::wstring, VARIANT> values;
    ~MemoryBag()
    {
        for (auto& entry : values)
            VariantClear(&entry.second);
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid != IID_IUnknown && iid != IID_IPropertyBag) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override
    {
        auto found = values.find(name);
        if (found == values.end())
            return E_INVALIDARG;
        VARTYPE wanted = V_VT(value);
        VariantInit(value);
        return VariantChangeType(value, &found->second, 0, wanted == VT_EMPTY ? V_VT(&found->second) : wanted);
    }
    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR name, VARIANT* value) override
    {
        VARIANT copy;
        VariantInit(&copy);
        HRESULT result = VariantCopy(&copy, value);
        if (SUCCEEDED(result))
            values[name] = copy;
        return result;
    }
};

// Where the stream's seek pointer stands.
ULONGLONG streamPosition(IStream* stream)
{
    ULARGE_INTEGER position = {};
    stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &position);
    return position.QuadPart;
}

SIZEL extentOf(IOleObject* object)
{
    SIZEL extent = {-1, -1};
    object->GetExtent(DVASPECT_CONTENT, &extent);
    return extent;
}

TEST_F(InterfaceTest, StreamHoldsTheVersionStampAndTheExtent)
{
    auto persist = as<IPersistStreamInit>(IID_IPersistStreamInit);
    ASSERT_TRUE(persist);
    EXPECT_EQ(persist->InitNew(), S_OK);
    CLSID clsid = {};
    EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_VogCtrl);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);
    ULARGE_INTEGER size = {};
    EXPECT_EQ(persist->GetSizeMax(&size), S_OK);
    EXPECT_EQ(size.QuadPart, 16u);
    SIZEL extent = {5000, 2500};
    ASSERT_EQ(as<IOleObject>(IID_IOleObject)->SetExtent(DVASPECT_CONTENT, &extent), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_OK) << "the new extent is not saved yet";

    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    ASSERT_EQ(persist->Save(stream.get(), TRUE), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);
    EXPECT_EQ(streamPosition(stream.get()), 16u);
    stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    DWORD stamp = 0;
    ASSERT_EQ(stream->Read(&stamp, sizeof stamp, nullptr), S_OK);
    EXPECT_EQ(stamp, 0x07D00325u) << "major 2000 in the high word, minor 805 in the low word";

    // A second control loads the extent and stops where the save ended.
    ComPtr<IOleObject> other;
    ASSERT_EQ(vog.create(CLSID_VogCtrl, IID_IOleObject, other), S_OK);
    ComPtr<IPersistStreamInit> otherPersist;
    ASSERT_EQ(other.query(IID_IPersistStreamInit, otherPersist), S_OK);
    stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(otherPersist->Load(stream.get()), S_OK);
    EXPECT_EQ(streamPosition(stream.get()), 16u);
    EXPECT_EQ(extentOf(other.get()).cx, 5000);
    EXPECT_EQ(extentOf(other.get()).cy, 2500);

    // A stream saved before the extent was kept: the stamp, then the container's own data.
    ComPtr<IStream> old;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, old.put()), S_OK);
    ASSERT_EQ(old->Write(&stamp, sizeof stamp, nullptr), S_OK);
    ASSERT_EQ(old->Write("container's own data", 20, nullptr), S_OK);
    old->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(otherPersist->Load(old.get()), S_OK);
    EXPECT_EQ(streamPosition(old.get()), 4u);
    EXPECT_EQ(extentOf(other.get()).cx, 5000) << "nothing of the container's data taken for an extent";

    ComPtr<IStream> empty;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, empty.put()), S_OK);
    EXPECT_TRUE(FAILED(otherPersist->Load(empty.get()))) << "too short for the stamp";
}

TEST_F(InterfaceTest, PropertyBagHoldsOnlyTheVersionStamp)
{
    auto persist = as<IPersistPropertyBag>(IID_IPersistPropertyBag);
    ASSERT_TRUE(persist);
    MemoryBag bag;
    EXPECT_EQ(persist->InitNew(), S_OK);
    ASSERT_EQ(persist->Save(&bag, TRUE, TRUE), S_OK);
    ASSERT_EQ(bag.values.size(), 1u);
    ASSERT_EQ(bag.values.count(L"_Version"), 1u);
    EXPECT_EQ(V_VT(&bag.values[L"_Version"]), VT_I4);
    EXPECT_EQ(static_cast<DWORD>(V_I4(&bag.values[L"_Version"])), 0x07D00325u);

    EXPECT_EQ(persist->Load(&bag, nullptr), S_OK);
    MemoryBag emptyBag;
    EXPECT_EQ(persist->Load(&emptyBag, nullptr), S_OK) << "a page without the stamp still loads";
}

// An event sink that counts its references, as a script host's would.
class CountingSink final : public IDispatch {
public:
    LONG references = 1;
    bool answersEvents = true;
    std::function<void()> onRelease;  // runs once, when the control lets go of its last reference
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || (answersEvents && (iid == IID_IDispatch || iid == DIID_DVogEvents))) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        if (--references == 1 && onRelease)
            std::exchange(onRelease, nullptr)();
        return references;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
};

TEST_F(InterfaceTest, ClassInformationNamesTheCoclassAndTheEventInterface)
{
    auto info = as<IProvideClassInfo2>(IID_IProvideClassInfo2);
    ASSERT_TRUE(info);
    GUID events = {};
    EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events), S_OK);
    EXPECT_EQ(events, DIID_DVogEvents);
    EXPECT_EQ(info->GetGUID(2, &events), E_INVALIDARG);
    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(info->GetClassInfo(coclass.put()), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, CLSID_VogCtrl);
    EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
    coclass->ReleaseTypeAttr(attributes);
}

TEST_F(InterfaceTest, EventConnectionPointTakesAndReleasesSinks)
{
    auto container = as<IConnectionPointContainer>(IID_IConnectionPointContainer);
    ASSERT_TRUE(container);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(DIID_DVogEvents, point.put()), S_OK);
    IID iid = {};
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, DIID_DVogEvents);
    ComPtr<IConnectionPointContainer> back;
    EXPECT_EQ(point->GetConnectionPointContainer(back.put()), S_OK);
    EXPECT_EQ(back.get(), container.get());
    ComPtr<IConnectionPoint> none;
    EXPECT_EQ(container->FindConnectionPoint(IID_IPropertyNotifySink, none.put()), CONNECT_E_NOCONNECTION);
    EXPECT_FALSE(none);

    CountingSink sink;
    CountingSink other;
    DWORD cookie = 0;
    DWORD otherCookie = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    ASSERT_EQ(point->Advise(&other, &otherCookie), S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_NE(cookie, otherCookie);
    EXPECT_EQ(sink.references, 2) << "the point holds the sink";
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(sink.references, 1);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);

    CountingSink deaf;
    deaf.answersEvents = false;
    DWORD deafCookie = 1;
    EXPECT_EQ(point->Advise(&deaf, &deafCookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(deafCookie, 0u);
    EXPECT_EQ(deaf.references, 1);

    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
    IConnectionPoint* listed[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(2, listed, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(listed[0], point.get());
    listed[0]->Release();

    // Closing drops the sinks, also when the release of one changes the list: here it unadvises
    // another and advises a third, which the last release of the control lets go of.
    CountingSink late;
    DWORD lateCookie = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    other.onRelease = [&] {
        point->Unadvise(cookie);
        point->Advise(&late, &lateCookie);
    };
    EXPECT_EQ(as<IOleObject>(IID_IOleObject)->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_EQ(sink.references + other.references, 2);
    EXPECT_EQ(late.references, 2) << "advised after the close";
    points.reset();
    back.reset();
    point.reset();
    container.reset();
    control.reset();
    EXPECT_EQ(late.references, 1);
    EXPECT_EQ(vog.canUnloadNow(), S_OK);
}

TEST_F(InterfaceTest, ACallBackWhileTheControlIsDestroyedDoesNotDestroyItAgain)
{
    TestSite site(nullptr);
    ASSERT_EQ(as<IOleObject>(IID_IOleObject)->SetClientSite(&site), S_OK);
    // The site's last release asks the control for an interface and lets go of it again.
    IUnknown* going = control.get();
    site.onRelease = [going] {
        ComPtr<IUnknown> again;
        going->QueryInterface(IID_IOleObject, again.putVoid());
    };
    control.reset();
    EXPECT_EQ(site.references, 1);
    EXPECT_EQ(vog.canUnloadNow(), S_OK) << "the control went, once";
}

// A view sink that counts the changes of the content it hears of (and no references).
class ViewSink final : public IAdviseSinkEx {
public:
    int changes = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    void STDMETHODCALLTYPE OnViewChange(DWORD aspect, LONG) override { changes += aspect == DVASPECT_CONTENT; }
    void STDMETHODCALLTYPE OnDataChange(FORMATETC*, STGMEDIUM*) override {}
    void STDMETHODCALLTYPE OnRename(IMoniker*) override {}
    void STDMETHODCALLTYPE OnSave() override {}
    void STDMETHODCALLTYPE OnClose() override {}
    void STDMETHODCALLTYPE OnViewStatusChange(DWORD) override {}
};

TEST_F(InterfaceTest, QuickActivationConnectsTheContainerAndTheViewSinkHearsOfChangesInLook)
{
    auto quick = as<IQuickActivate>(IID_IQuickActivate);
    auto object = as<IOleObject>(IID_IOleObject);
    ASSERT_TRUE(quick && object);
    HWND parent = containerWindow("container");
    TestSite site(parent);
    ViewSink view;
    CountingSink events;
    QACONTAINER container = {};
    container.pClientSite = &site;
    container.pAdviseSink = &view;
    container.pUnkEventSink = &events;
    QACONTROL result = {};
    result.cbSize = sizeof result;
    container.cbSize = offsetof(QACONTAINER, pUnkEventSink);
    EXPECT_EQ(quick->QuickActivate(&container, &result), E_FAIL) << "too short to hold the sinks";
    EXPECT_EQ(site.references, 1);
    container.cbSize = offsetof(QACONTAINER, pBindHost);  // as an older container has it
    ASSERT_EQ(quick->QuickActivate(&container, &result), S_OK);
    EXPECT_EQ(result.dwMiscStatus, 132241u);
    EXPECT_NE(result.dwEventCookie, 0u);
    EXPECT_EQ(events.references, 2);
    EXPECT_EQ(site.references, 2) << "the client site is taken";

    SIZEL size = {3000, 1000};
    EXPECT_EQ(quick->SetContentExtent(&size), S_OK);
    EXPECT_EQ(quick->SetContentExtent(&size), S_OK);
    SIZEL read = {};
    EXPECT_EQ(quick->GetContentExtent(&read), S_OK);
    EXPECT_EQ(read.cx, 3000);
    EXPECT_EQ(view.changes, 1) << "one new extent";
    ASSERT_EQ(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, parent, &site.position), S_OK);
    EXPECT_EQ(as<IOleInPlaceObject>(IID_IOleInPlaceObject)->InPlaceDeactivate(), S_OK);
    EXPECT_EQ(view.changes, 3) << "the window came and went";
    ASSERT_EQ(as<IViewObject2>(IID_IViewObject2)->SetAdvise(DVASPECT_CONTENT, ADVF_PRIMEFIRST | ADVF_ONLYONCE, &view),
              S_OK);
    size.cx = 4000;
    EXPECT_EQ(quick->SetContentExtent(&size), S_OK);
    EXPECT_EQ(view.changes, 4) << "told at once, and only once";

    // The control goes before the container's objects on this stack.
    object.reset();
    quick.reset();
    control.reset();
    EXPECT_EQ(events.references, 1);
    DestroyWindow(parent);
}

// The control built into this test program, which holds no string table: no type name string.
TEST(OleControlTest, WithoutItsTypeNameStringTheControlSendsTheCallerToTheRegistry)
{
    ComPtr<IOleObject> object;
    ASSERT_EQ(createObject<CVogCtrl>(IID_IOleObject, object.putVoid()), S_OK);
    LPOLESTR name = const_cast<LPOLESTR>(L"unchanged");
    EXPECT_EQ(object->GetUserType(USERCLASSTYPE_FULL, &name), OLE_S_USEREG);
    EXPECT_EQ(name, nullptr);
}

TEST_F(InterfaceTest, ThePropertyPageShowsItsPlaceholderAndEditsNothing)
{
    auto pages = as<ISpecifyPropertyPages>(IID_ISpecifyPropertyPages);
    ASSERT_TRUE(pages);
    CAUUID list = {};
    ASSERT_EQ(pages->GetPages(&list), S_OK);
    ASSERT_EQ(list.cElems, 1u);
    EXPECT_EQ(list.pElems[0], CLSID_VogPropPage);
    CoTaskMemFree(list.pElems);

    ComPtr<IPropertyPage> page;
    ASSERT_EQ(vog.create(CLSID_VogPropPage, IID_IPropertyPage, page), S_OK);
    PROPPAGEINFO info = {};
    info.cb = sizeof info;
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    EXPECT_STREQ(info.pszTitle, L"General");
    // 250 by 62 dialog units: wider than high, and more than a few pixels.
    EXPECT_GT(info.size.cx, info.size.cy);
    EXPECT_GT(info.size.cy, 40);
    CoTaskMemFree(info.pszTitle);

    IUnknown* objects[] = {control.get()};
    ASSERT_EQ(page->SetObjects(1, objects), S_OK);
    HWND frame = CreateWindowExA(0, "STATIC", "page frame", WS_POPUP | WS_VISIBLE, 0, 0, 500, 200, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(frame, nullptr);
    RECT area = {5, 5, 5 + info.size.cx, 5 + info.size.cy};
    ASSERT_EQ(page->Activate(frame, &area, TRUE), S_OK);
    EXPECT_EQ(page->Show(SW_SHOW), S_OK);
    HWND dialog = GetWindow(frame, GW_CHILD);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog));
    HWND text = GetWindow(dialog, GW_CHILD);
    EXPECT_EQ(testing_support::windowText(text),
              "TODO: Place controls to manipulate properties of Vog Control on this dialog.");
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(page->Apply(), S_OK);
    EXPECT_EQ(page->Activate(frame, &area, TRUE), E_UNEXPECTED) << "already active";

    EXPECT_EQ(page->Deactivate(), S_OK);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
    DestroyWindow(frame);
}

TEST_F(InterfaceTest, VerbsActivateInPlaceInTheGivenParentAndRectangle)
{
    auto object = as<IOleObject>(IID_IOleObject);
    auto inPlace = as<IOleInPlaceObject>(IID_IOleInPlaceObject);
    ASSERT_TRUE(object && inPlace);
    HWND parent = containerWindow("container");
    ASSERT_NE(parent, nullptr);

    HWND window = nullptr;
    EXPECT_EQ(inPlace->GetWindow(&window), E_FAIL) << "no window before activation";
    RECT position = {20, 10, 180, 90};
    EXPECT_EQ(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, nullptr, &position), E_INVALIDARG);
    ASSERT_EQ(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, parent, &position), S_OK);
    ASSERT_EQ(inPlace->GetWindow(&window), S_OK);
    EXPECT_EQ(GetParent(window), parent);
    EXPECT_TRUE(IsWindowVisible(window));
    RECT placed;
    GetWindowRect(window, &placed);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, 20);
    EXPECT_EQ(placed.top, 10);
    EXPECT_EQ(placed.right, 180);
    EXPECT_EQ(placed.bottom, 90);

    RECT moved = {0, 0, 100, 50};
    EXPECT_EQ(inPlace->SetObjectRects(&moved, &moved), S_OK);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 100);
    EXPECT_EQ(client.bottom, 50);

    EXPECT_EQ(object->DoVerb(OLEIVERB_HIDE, nullptr, nullptr, 0, parent, &position), S_OK);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(object->DoVerb(OLEIVERB_SHOW, nullptr, nullptr, 0, parent, &position), S_OK);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(object->DoVerb(-99, nullptr, nullptr, 0, parent, &position), E_NOTIMPL);
    EXPECT_EQ(object->DoVerb(7, nullptr, nullptr, 0, parent, &position), OLEOBJ_S_INVALIDVERB);

    EXPECT_EQ(inPlace->InPlaceDeactivate(), S_OK);
    EXPECT_FALSE(IsWindow(window));
    ASSERT_EQ(object->DoVerb(OLEIVERB_PRIMARY, nullptr, nullptr, 0, parent, &position), S_OK);
    ASSERT_EQ(inPlace->GetWindow(&window), S_OK);
    EXPECT_EQ(object->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_FALSE(IsWindow(window));
    DestroyWindow(parent);
}

}  // namespace
