// The control hosted in Wine's ATL container window (AtlAxWin100 from atl100.dll) on the virtual
// display: the container creates it from its ProgID, activates it in place, and the test reads the
// drawn pixels back and scripts it through the container.
#include "ControlHarness.h"

#include "control/Identifiers.h"

#include <gtest/gtest.h>

using namespace control_tests;

namespace {

class ContainerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(registration.exitCode, 0u);
        atl.reset(LoadLibraryA("atl100.dll"));
        ASSERT_TRUE(atl);
        BOOL(WINAPI * init)() = nullptr;
        init = reinterpret_cast<decltype(init)>(reinterpret_cast<void (*)()>(GetProcAddress(atl.get(), "AtlAxWinInit")));
        getControl = reinterpret_cast<decltype(getControl)>(
            reinterpret_cast<void (*)()>(GetProcAddress(atl.get(), "AtlAxGetControl")));
        ASSERT_TRUE(init && getControl);
        ASSERT_TRUE(init());

        frame = CreateWindowExA(0, "STATIC", "Vog container", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 40, 40, 260,
                                160, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(frame, nullptr);
        host = CreateWindowExA(0, "AtlAxWin100", vogCtrlProgId, WS_CHILD | WS_VISIBLE, 10, 10, 160, 80, frame,
                               nullptr, nullptr, nullptr);
        ASSERT_NE(host, nullptr);
        controlWindow = FindWindowExA(host, nullptr, "VogControl", nullptr);
    }

    void TearDown() override
    {
        if (frame)
            DestroyWindow(frame);
    }

    OleScope ole;
    ServerRegistration registration;
    LoadedModule atl;
    HRESULT(WINAPI* getControl)(HWND, IUnknown**) = nullptr;
    HWND frame = nullptr;
    HWND host = nullptr;
    HWND controlWindow = nullptr;
};

TEST_F(ContainerTest, ControlWindowFillsTheContainersRectangle)
{
    ASSERT_NE(controlWindow, nullptr) << "the control's window is a child of the container window";
    EXPECT_TRUE(IsWindowVisible(controlWindow));
    RECT client;
    GetClientRect(controlWindow, &client);
    EXPECT_EQ(client.right, 160);
    EXPECT_EQ(client.bottom, 80);

    // The container passes its new size on to the control's window.
    MoveWindow(host, 10, 10, 200, 100, TRUE);
    GetClientRect(controlWindow, &client);
    EXPECT_EQ(client.right, 200);
    EXPECT_EQ(client.bottom, 100);
}

TEST_F(ContainerTest, ControlWindowPaintsTheWhiteFillAndTheEllipseOutline)
{
    ASSERT_NE(controlWindow, nullptr);
    UpdateWindow(frame);
    PixelCanvas canvas(160, 80);
    ASSERT_TRUE(PrintWindow(controlWindow, canvas.dc(), PW_CLIENTONLY));
    // The window's own drawing context has the black pen and the white brush.
    EXPECT_EQ(canvas.pixel(2, 2), white) << "corner: the white fill";
    EXPECT_EQ(canvas.pixel(157, 77), white);
    EXPECT_EQ(canvas.pixel(80, 40), white) << "inside the ellipse";
    bool outlineLeft = false;
    bool outlineTop = false;
    for (int d = -3; d <= 3; ++d) {
        outlineLeft = outlineLeft || canvas.pixel(0, 40 + d) == black;
        outlineTop = outlineTop || canvas.pixel(80 + d, 0) == black;
    }
    EXPECT_TRUE(outlineLeft) << "the outline touches the left edge halfway down";
    EXPECT_TRUE(outlineTop) << "and the top edge halfway across";

    // The same picture reaches the screen.
    HDC screen = GetDC(controlWindow);
    EXPECT_EQ(GetPixel(screen, 2, 2), RGB(255, 255, 255));
    ReleaseDC(controlWindow, screen);
}

TEST_F(ContainerTest, HostedControlIsScriptableThroughTheContainer)
{
    ComPtr<IUnknown> hosted;
    ASSERT_EQ(getControl(host, hosted.put()), S_OK);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(hosted.query(IID_IDispatch, dispatch), S_OK);
    LPOLESTR name = const_cast<LPOLESTR>(L"open");
    DISPID id = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);

    Bstr theme(L"manuals");
    Bstr empty(L"");
    VARIANT t = bstrArgument(theme.get());
    VARIANT e = bstrArgument(empty.get());
    EXPECT_EQ(invokeMethod(dispatch.get(), id, {t, e, e}), DISP_E_PARAMNOTOPTIONAL);

    MessageBoxWatch boxes;
    EXPECT_EQ(invokeMethod(dispatch.get(), id, {t, e, e, e}), S_OK);
    ASSERT_TRUE(boxes.waitForCount(1, 10000));
    EXPECT_EQ(boxes.seen()[0].text, "Illegal call");

    // The container's in-place site got the window from the control itself.
    ComPtr<IOleInPlaceObject> inPlace;
    ASSERT_EQ(hosted.query(IID_IOleInPlaceObject, inPlace), S_OK);
    HWND window = nullptr;
    EXPECT_EQ(inPlace->GetWindow(&window), S_OK);
    EXPECT_EQ(window, controlWindow);
}

TEST_F(ContainerTest, DestroyingTheContainerReleasesTheControl)
{
    ASSERT_NE(controlWindow, nullptr);
    HMODULE vog = GetModuleHandleA(vogModulePath().c_str());
    ASSERT_NE(vog, nullptr) << "the container loaded VOG.OCX";
    auto canUnloadNow = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void (*)()>(GetProcAddress(vog, "DllCanUnloadNow")));
    ASSERT_NE(canUnloadNow, nullptr);
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "while the control is hosted";

    DestroyWindow(frame);
    frame = nullptr;
    EXPECT_FALSE(IsWindow(controlWindow));
    EXPECT_EQ(canUnloadNow(), S_OK) << "no reference and no lock left";
}

}  // namespace

// A container of our own, as form and document containers are: it drives activation through its
// sites, then saves the control and loads it again through a stream and through a storage with
// OLE's own helpers, which ask for IPersistStream and IPersistStorage.
TEST(InPlaceContainerTest, SitesSeePairedActivationAndSavedControlsComeBackWithTheirExtent)
{
    OleScope ole;
    ServerRegistration registration;
    ASSERT_EQ(registration.exitCode, 0u);
    HWND form = containerWindow("form");
    TestSite site(form);
    ComPtr<IOleObject> object;
    ASSERT_EQ(CoCreateInstance(CLSID_VogCtrl, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object.putVoid()), S_OK);
    ASSERT_EQ(object->SetClientSite(&site), S_OK);
    site.allowInPlace = false;
    EXPECT_EQ(object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &site, 0, form, &site.position), E_FAIL);
    EXPECT_EQ(FindWindowExA(form, nullptr, "VogControl", nullptr), nullptr);
    site.allowInPlace = true;
    ASSERT_EQ(object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &site, 0, form, &site.position), S_OK);
    HWND window = FindWindowExA(form, nullptr, "VogControl", nullptr);
    EXPECT_NE(window, nullptr);
    ComPtr<IOleInPlaceActiveObject> active;
    ASSERT_EQ(object.query(IID_IOleInPlaceActiveObject, active), S_OK);
    EXPECT_EQ(site.activeObject, active.get());
    EXPECT_EQ(site.uiActivations, 1);
    ComPtr<IOleInPlaceObject> inPlace;
    ASSERT_EQ(object.query(IID_IOleInPlaceObject, inPlace), S_OK);
    EXPECT_EQ(inPlace->UIDeactivate(), S_OK);
    EXPECT_EQ(site.activeObject, nullptr);
    EXPECT_EQ(site.uiDeactivations, 1);
    EXPECT_EQ(object->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(site.inPlaceActivations, 1) << "the refusing site was not told of an activation";
    EXPECT_EQ(site.inPlaceDeactivations, 1);

    SIZEL extent = {4233, 1587};
    ASSERT_EQ(object->SetExtent(DVASPECT_CONTENT, &extent), S_OK);
    ComPtr<IPersistStream> persistStream;
    ComPtr<IStream> stream;
    ASSERT_EQ(object.query(IID_IPersistStream, persistStream), S_OK);
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    ASSERT_EQ(OleSaveToStream(persistStream.get(), stream.get()), S_OK);
    stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    ComPtr<IOleObject> fromStream;
    ASSERT_EQ(OleLoadFromStream(stream.get(), IID_IOleObject, fromStream.putVoid()), S_OK);

    ComPtr<ILockBytes> bytes;
    ComPtr<IStorage> storage;
    ComPtr<IPersistStorage> persistStorage;
    ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put()), S_OK);
    ASSERT_EQ(StgCreateDocfileOnILockBytes(bytes.get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                           storage.put()),
              S_OK);
    ASSERT_EQ(object.query(IID_IPersistStorage, persistStorage), S_OK);
    ASSERT_EQ(OleSave(persistStorage.get(), storage.get(), TRUE), S_OK);
    EXPECT_EQ(persistStorage->SaveCompleted(nullptr), S_OK);
    ComPtr<IOleObject> fromStorage;
    ASSERT_EQ(OleLoad(storage.get(), IID_IOleObject, &site, fromStorage.putVoid()), S_OK);

    for (IOleObject* loaded : {fromStream.get(), fromStorage.get()}) {
        SIZEL read = {};
        EXPECT_EQ(loaded->GetExtent(DVASPECT_CONTENT, &read), S_OK);
        EXPECT_EQ(read.cx, extent.cx);
        EXPECT_EQ(read.cy, extent.cy);
    }
    DestroyWindow(form);
}
