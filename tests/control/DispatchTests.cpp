// The scriptable method as script engines reach it: names, argument counts and kinds, the argument
// check with its message box, and the conversion of arguments to 8-bit text.
#include "ControlHarness.h"

#include "control/DispatchArguments.h"
#include "control/Identifiers.h"
#include "support/TestSupport.h"
#include "winsys/Text.h"

#include <gtest/gtest.h>

#include <thread>

using namespace control_tests;

namespace {

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(vog.loaded());
        ASSERT_EQ(vog.create(CLSID_VogCtrl, IID_IDispatch, control), S_OK);
    }

    OleScope ole;
    VogModule vog;
    ComPtr<IDispatch> control;
    Bstr theme{L"manuals"};
    Bstr file{L"guide.txt"};
    Bstr empty{L""};
};

TEST_F(DispatchTest, NamesResolveThroughTheTypeLibraryWithoutRegardToCase)
{
    const wchar_t* spellings[] = {L"open", L"OPEN", L"Open"};
    for (const wchar_t* spelling : spellings) {
        LPOLESTR name = const_cast<LPOLESTR>(spelling);
        DISPID id = 0;
        EXPECT_EQ(control->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        EXPECT_EQ(id, dispidOpen);
    }
    LPOLESTR withParameter[] = {const_cast<LPOLESTR>(L"open"), const_cast<LPOLESTR>(L"intFile")};
    DISPID ids[2] = {};
    EXPECT_EQ(control->GetIDsOfNames(IID_NULL, withParameter, 2, LOCALE_USER_DEFAULT, ids), S_OK);
    EXPECT_EQ(ids[0], dispidOpen);
    EXPECT_EQ(ids[1], 2) << "intFile is the third parameter";

    LPOLESTR unknown = const_cast<LPOLESTR>(L"close");
    DISPID id = 0;
    EXPECT_EQ(control->GetIDsOfNames(IID_NULL, &unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    EXPECT_EQ(control->GetIDsOfNames(IID_IDispatch, &unknown, 1, LOCALE_USER_DEFAULT, &id),
              DISP_E_UNKNOWNINTERFACE);

    UINT count = 0;
    EXPECT_EQ(control->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(control->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, DIID_DVog);
    info->ReleaseTypeAttr(attributes);
    EXPECT_EQ(control->GetTypeInfo(1, LOCALE_USER_DEFAULT, info.put()), DISP_E_BADINDEX);
}

// None of these calls may reach the method: no message box, and the right refusal.
TEST_F(DispatchTest, WrongCallsAreRefusedBeforeTheMethodRuns)
{
    MessageBoxWatch boxes;
    VARIANT t = bstrArgument(theme.get());
    VARIANT f = bstrArgument(file.get());
    VARIANT e = bstrArgument(empty.get());

    EXPECT_EQ(invokeMethod(control.get(), dispidOpen, {}), DISP_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(invokeMethod(control.get(), dispidOpen, {t, f, e}), DISP_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(invokeMethod(control.get(), dispidOpen, {t, f, e, e, e}), DISP_E_BADPARAMCOUNT);
    // Even with an empty theme, which the method itself would refuse with a box.
    EXPECT_EQ(invokeMethod(control.get(), dispidOpen, {e, f, e}), DISP_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(invokeMethod(control.get(), dispidOpen, {e, f, e, e, e}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(invokeMethod(control.get(), 2, {e, f, e, e}), DISP_E_MEMBERNOTFOUND);

    // An argument that has no text: its position in rgvarg (theme is the last) is reported.
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    VARIANT a;
    VariantInit(&a);
    V_VT(&a) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(&a) = array;
    UINT argError = 99;
    EXPECT_EQ(invokeMethod(control.get(), dispidOpen, {t, a, e, e}, &argError), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argError, 2u);
    SafeArrayDestroy(array);

    VARIANT arguments[4] = {e, e, f, e};
    DISPPARAMS params = {arguments, nullptr, 4, 0};
    EXPECT_EQ(control->Invoke(dispidOpen, IID_IDispatch, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                              nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(control->Invoke(dispidOpen, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &params, nullptr,
                              nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    // theme named, but also given by position.
    DISPID named = 0;
    DISPPARAMS withNames = {arguments, &named, 4, 1};
    argError = 99;
    EXPECT_EQ(control->Invoke(dispidOpen, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &withNames, nullptr,
                              nullptr, &argError),
              DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(argError, 0u);

    Sleep(200);  // a box would have shown up by now
    EXPECT_TRUE(boxes.seen().empty()) << boxes.seen().front().caption << ": " << boxes.seen().front().text;
}

// Every way of passing no theme or no file shows "Illegal call", captioned "Vog Control", with no
// icon; the call itself succeeds.
TEST_F(DispatchTest, MissingThemeOrFileShowsIllegalCall)
{
    VARIANT t = bstrArgument(theme.get());
    VARIANT f = bstrArgument(file.get());
    VARIANT e = bstrArgument(empty.get());
    VARIANT nullBstr = bstrArgument(nullptr);
    const std::vector<std::vector<VARIANT>> calls = {
        {e, f, e, e},
        {t, e, e, e},
        {nullBstr, f, e, e},
        {typedArgument(VT_NULL), f, e, e},
        {typedArgument(VT_EMPTY), f, e, e},
        {typedArgument(VT_ERROR), f, e, e},
        {t, typedArgument(VT_ERROR), f, f},
    };
    MessageBoxWatch boxes;
    size_t expected = 0;
    for (const std::vector<VARIANT>& call : calls) {
        EXPECT_EQ(invokeMethod(control.get(), dispidOpen, call), S_OK) << expected;
        ++expected;
        ASSERT_TRUE(boxes.waitForCount(expected, 10000)) << "call " << expected - 1;
    }
    for (const SeenBox& box : boxes.seen()) {
        EXPECT_EQ(box.caption, "Vog Control");
        EXPECT_EQ(box.text, "Illegal call");
        EXPECT_FALSE(box.errorIcon);
    }
}

// As VBA calls vog.open info:="", theme:="manuals\Data", file:="guide.txt", intFile:="": the names
// resolved together with the method's, each named argument beside its id. The theme has reached the
// method when its error box names it (without the file the box would say "Illegal call").
TEST_F(DispatchTest, NamedArgumentsReachTheirParameters)
{
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"open"), const_cast<LPOLESTR>(L"info"), const_cast<LPOLESTR>(L"theme"),
                        const_cast<LPOLESTR>(L"file"), const_cast<LPOLESTR>(L"intFile")};
    DISPID ids[5] = {};
    ASSERT_EQ(control->GetIDsOfNames(IID_NULL, names, 5, LOCALE_USER_DEFAULT, ids), S_OK);
    EXPECT_EQ(std::vector<DISPID>(ids, ids + 5), (std::vector<DISPID>{dispidOpen, 3, 0, 1, 2}));

    Bstr reserved{L"manuals\\Data"};
    VARIANT arguments[4] = {bstrArgument(empty.get()), bstrArgument(reserved.get()), bstrArgument(file.get()),
                            bstrArgument(empty.get())};
    DISPPARAMS params = {arguments, ids + 1, 4, 4};
    MessageBoxWatch boxes;
    EXPECT_EQ(control->Invoke(dispidOpen, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                              nullptr),
              S_OK);
    ASSERT_TRUE(boxes.waitForCount(1, 10000));
    EXPECT_EQ(boxes.seen()[0].caption, "Vog Error");
    EXPECT_EQ(boxes.seen()[0].text.rfind("The theme name \"manuals\\Data\"", 0), 0u) << boxes.seen()[0].text;
}

TEST(ArgumentOrderTest, NamedArgumentsComeFirstInAnyOrderAndEachParameterOnce)
{
    VARIANT arguments[5] = {};
    UINT order[4] = {};
    UINT argError = 99;
    auto orderOf = [&](UINT count, std::vector<DISPID> names) {
        DISPPARAMS params = {arguments, names.data(), count, static_cast<UINT>(names.size())};
        argError = 99;
        HRESULT result = argumentOrder(params, 4, order, &argError);
        return SUCCEEDED(result) ? std::vector<UINT>(order, order + 4) : std::vector<UINT>{UINT(result), argError};
    };
    EXPECT_EQ(orderOf(4, {}), (std::vector<UINT>{3, 2, 1, 0})) << "by position: the last parameter first";
    EXPECT_EQ(orderOf(4, {3, 0, 2, 1}), (std::vector<UINT>{1, 3, 2, 0}));
    EXPECT_EQ(orderOf(4, {2, 3}), (std::vector<UINT>{3, 2, 0, 1})) << "theme and file by position";
    const UINT notFound = DISP_E_PARAMNOTFOUND;
    EXPECT_EQ(orderOf(4, {3, 4}), (std::vector<UINT>{notFound, 1})) << "no fifth parameter";
    EXPECT_EQ(orderOf(4, {3, 2, 3}), (std::vector<UINT>{notFound, 2})) << "info named twice";
    EXPECT_EQ(orderOf(4, {3, 1}), (std::vector<UINT>{notFound, 1})) << "file by position and by name";
    EXPECT_EQ(orderOf(3, {3, 1}), (std::vector<UINT>{UINT(DISP_E_PARAMNOTOPTIONAL), 99}));
    EXPECT_EQ(orderOf(5, {3}), (std::vector<UINT>{UINT(DISP_E_BADPARAMCOUNT), 99}));
    DISPPARAMS unnamed = {arguments, nullptr, 4, 1};
    EXPECT_EQ(argumentOrder(unnamed, 4, order, nullptr), E_INVALIDARG);
}

TEST_F(DispatchTest, ControlStaysAliveWhenReleasedWhileItsBoxIsUp)
{
    VARIANT e = bstrArgument(empty.get());
    VARIANT f = bstrArgument(file.get());
    MessageBoxWatch boxes(false);
    IDispatch* raw = control.detach();
    ULONG leftDuringBox = 99;
    std::thread container([&] {
        // The container lets go of its only reference while the box is still up.
        if (boxes.waitForCount(1, 10000))
            leftDuringBox = raw->Release();
        boxes.pressOk();
    });
    EXPECT_EQ(invokeMethod(raw, dispidOpen, {e, f, e, e}), S_OK);
    container.join();
    EXPECT_EQ(leftDuringBox, 1u) << "the call holds a reference of its own";
    EXPECT_EQ(vog.canUnloadNow(), S_OK) << "and gives it up when it returns";
}

std::string textOf(const VARIANT& argument)
{
    std::string text = "unchanged";
    HRESULT result = argumentText(argument, LOCALE_USER_DEFAULT, text);
    return SUCCEEDED(result) ? text : "failed";
}

TEST(ArgumentTextTest, NoStringKindsGiveEmptyTextAndOtherKindsTheirText)
{
    EXPECT_EQ(textOf(typedArgument(VT_EMPTY)), "");
    EXPECT_EQ(textOf(typedArgument(VT_NULL)), "");
    EXPECT_EQ(textOf(typedArgument(VT_ERROR)), "");
    EXPECT_EQ(textOf(bstrArgument(nullptr)), "");
    VARIANT otherError = typedArgument(VT_ERROR);
    V_ERROR(&otherError) = E_FAIL;
    EXPECT_EQ(textOf(otherError), "failed");

    VARIANT number = typedArgument(VT_I4);
    V_I4(&number) = 2000;
    EXPECT_EQ(textOf(number), "2000");
    VARIANT flag = typedArgument(VT_BOOL);
    V_BOOL(&flag) = VARIANT_TRUE;
    EXPECT_EQ(textOf(flag), "True");

    // Passed by reference, as VBScript passes variables.
    Bstr name(L"guide.txt");
    VARIANT inner = bstrArgument(name.get());
    VARIANT reference;
    VariantInit(&reference);
    V_VT(&reference) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&reference) = &inner;
    EXPECT_EQ(textOf(reference), "guide.txt");
    VARIANT nullInner = typedArgument(VT_NULL);
    V_VARIANTREF(&reference) = &nullInner;
    EXPECT_EQ(textOf(reference), "");
    LONG seven = 7;
    VARIANT numberReference;
    VariantInit(&numberReference);
    V_VT(&numberReference) = VT_BYREF | VT_I4;
    V_I4REF(&numberReference) = &seven;
    EXPECT_EQ(textOf(numberReference), "7");

    // A number becomes text in the caller's locale.
    VARIANT fraction = typedArgument(VT_R8);
    V_R8(&fraction) = 2.5;
    std::string text;
    ASSERT_EQ(argumentText(fraction, MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT), text), S_OK);
    EXPECT_EQ(text, "2,5");
    ASSERT_EQ(argumentText(fraction, MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT), text), S_OK);
    EXPECT_EQ(text, "2.5");
}

TEST(ArgumentTextTest, WideTextBecomesExactSystemCodePageTextOrIsRefused)
{
    ASSERT_EQ(GetACP(), 1252u) << "the expectations below are those of code page 1252";
    Bstr accented(L"caf\u00e9 \u00fcber.txt");
    EXPECT_EQ(textOf(bstrArgument(accented.get())), "caf\xe9 \xfc" "ber.txt");

    // Full-width dots and backslash: a best-fit mapping would make "..\" of them, "?" would make
    // every such name of one length the same. A cut at an embedded null would open "guide.txt".
    Bstr lookAlikes(L"\uFF0E\uFF0E\uFF3Cwin.ini");
    Bstr embedded(L"guide.txt\0.exe", 14);
    std::string text = "unchanged";
    EXPECT_EQ(argumentText(bstrArgument(lookAlikes.get()), LOCALE_USER_DEFAULT, text), DISP_E_OVERFLOW);
    EXPECT_EQ(argumentText(bstrArgument(embedded.get()), LOCALE_USER_DEFAULT, text), DISP_E_OVERFLOW);
    EXPECT_EQ(text, "unchanged");

    // In UTF-8 every character keeps its exact bytes. Windows refuses the best-fit flag there (every
    // argument would be refused), Wine takes it: the flags are checked themselves.
    EXPECT_EQ(narrowExactly(L"caf\u00e9 \uFF0E\uFF3Cwin.ini", CP_UTF8), "caf\xc3\xa9 \xef\xbc\x8e\xef\xbc\xbcwin.ini");
    EXPECT_EQ(noBestFitFlags(CP_UTF8), 0u);

    // A byte array converts to text, an object to its default property: both are refused.
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 4);
    VARIANT array = typedArgument(VT_ARRAY | VT_UI1);
    V_ARRAY(&array) = bytes;
    EXPECT_EQ(textOf(array), "failed");
    SafeArrayDestroy(bytes);
}

TEST_F(DispatchTest, ARefusedArgumentOrOneRequestTooManyIsAScriptErrorThatSaysWhy)
{
    Bstr lookAlike(L"manuals\uFF3C");
    VARIANT e = bstrArgument(empty.get());
    MessageBoxWatch boxes;
    std::wstring error;
    EXPECT_EQ(invokeMethod(control.get(), dispidOpen, {bstrArgument(lookAlike.get()), bstrArgument(file.get()), e, e},
                           nullptr, &error),
              DISP_E_EXCEPTION);
    EXPECT_EQ(error, L"The argument theme holds a null character or a character the system code page does not have.");

    // Each open of a missing file keeps its worker in the File Loader dialog: past the limit a call
    // fails at once and starts nothing; the control's end stops the others.
    int accepted = 0;
    for (HRESULT result = S_OK; result == S_OK && accepted < 20; accepted += result == S_OK) {
        Bstr absent((L"absent-" + std::to_wstring(accepted) + L".txt").c_str());
        result = invokeMethod(control.get(), dispidOpen, {bstrArgument(theme.get()), bstrArgument(absent.get()), e, e},
                              nullptr, &error);
    }
    EXPECT_EQ(accepted, 16);
    EXPECT_EQ(error, L"Vog is already opening 16 documents for this page; open this one when one of them is done.");
    EXPECT_TRUE(boxes.seen().empty());
    // Under Wine a process that ends while workers still run can hang in the module's detach.
    control.reset();
    EXPECT_TRUE(testing_support::waitUntil([this] { return vog.canUnloadNow() == S_OK; }, 10000));
}

}  // namespace

TEST_F(DispatchTest, AThemeNameReachingIntoAnotherThemesFoldersIsReportedInTheErrorBox)
{
    Bstr reserved{L"manuals\\Data"};
    MessageBoxWatch boxes;
    VARIANT e = bstrArgument(empty.get());
    EXPECT_EQ(invokeMethod(control.get(), dispidOpen, {bstrArgument(reserved.get()), bstrArgument(file.get()), e, e}),
              S_OK);
    ASSERT_TRUE(boxes.waitForCount(1, 10000));
    SeenBox box = boxes.seen().front();
    EXPECT_EQ(box.caption, "Vog Error");
    EXPECT_EQ(box.text, "The theme name \"manuals\\Data\" is not allowed: \"data\" and \"subs\" below a theme hold "
                        "that theme's folders.");
    EXPECT_TRUE(box.errorIcon);
}
