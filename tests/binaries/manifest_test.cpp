// The application manifest inside the built Tavrin.exe, parsed as Windows
// parses it: strictly. Windows refuses to start a program whose manifest is
// not well-formed XML, or names its elements in other namespaces than the
// ones it reads; Wine starts it anyway, so only this check can tell.
#include <gtest/gtest.h>

#include <windows.h>
#include <msxml2.h>
#include <wrl/client.h>

#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

// Published identifiers that mingw-w64's headers lack.
const CLSID CLSID_DOMDocument60 = {0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
const IID IID_IXMLDOMDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

const char assemblyV1[] = "urn:schemas-microsoft-com:asm.v1";
const char assemblyV3[] = "urn:schemas-microsoft-com:asm.v3";
const char compatibilityV1[] = "urn:schemas-microsoft-com:compatibility.v1";

// The namespace Windows reads each element of an application manifest in.
const std::map<std::string, std::string> elementNamespaces = {
    {"assembly", assemblyV1},           {"assemblyIdentity", assemblyV1},    {"description", assemblyV1},
    {"dependency", assemblyV1},         {"dependentAssembly", assemblyV1},   {"trustInfo", assemblyV3},
    {"security", assemblyV3},           {"requestedPrivileges", assemblyV3}, {"requestedExecutionLevel", assemblyV3},
    {"compatibility", compatibilityV1}, {"application", compatibilityV1},    {"supportedOS", compatibilityV1},
};

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || *value == 0)
        throw std::runtime_error(std::string(name) + " is not set");
    return value;
}

// The manifest resource (type 24, id 1) of the checked tree's Tavrin.exe,
// read as data: any architecture's program can read it.
std::vector<BYTE> manifestBytes()
{
    const std::string path = environment("TAVRIN_CHECK_TREE") + "\\launcher\\Tavrin.exe";
    HMODULE image = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!image)
        throw std::runtime_error("cannot read " + path);
    std::vector<BYTE> bytes;
    HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    HGLOBAL loaded = found ? LoadResource(image, found) : nullptr;
    if (const void* data = loaded ? LockResource(loaded) : nullptr) {
        const auto* first = static_cast<const BYTE*>(data);
        bytes.assign(first, first + SizeofResource(image, found));
    }
    FreeLibrary(image);
    return bytes;
}

std::string narrow(BSTR text)
{
    std::string out;
    for (UINT i = 0; text && i < SysStringLen(text); ++i)
        out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return out;
}

class Bstr {
public:
    explicit Bstr(const wchar_t* text = nullptr) : text_(text ? SysAllocString(text) : nullptr) {}
    ~Bstr() { SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return text_; }
    BSTR* put()
    {
        SysFreeString(text_);
        text_ = nullptr;
        return &text_;
    }
    std::string text() const { return narrow(text_); }

private:
    BSTR text_;
};

// The bytes as an array of unsigned bytes, so that the parser reads their
// encoding from the XML declaration, as Windows does.
class ByteVariant {
public:
    explicit ByteVariant(const std::vector<BYTE>& bytes)
    {
        VariantInit(&value_);
        SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
        void* data = nullptr;
        if (array && SUCCEEDED(SafeArrayAccessData(array, &data))) {
            std::copy(bytes.begin(), bytes.end(), static_cast<BYTE*>(data));
            SafeArrayUnaccessData(array);
        }
        value_.vt = VT_ARRAY | VT_UI1;
        value_.parray = array;
    }
    ~ByteVariant() { VariantClear(&value_); }
    ByteVariant(const ByteVariant&) = delete;
    ByteVariant& operator=(const ByteVariant&) = delete;
    const VARIANT& get() const { return value_; }

private:
    VARIANT value_;
};

class Manifest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        const std::vector<BYTE> bytes = manifestBytes();
        ASSERT_FALSE(bytes.empty()) << "Tavrin.exe has no manifest resource";
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_DOMDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                                               reinterpret_cast<void**>(document.ReleaseAndGetAddressOf()))));
        document->put_async(VARIANT_FALSE);
        document->put_validateOnParse(VARIANT_FALSE);
        document->put_resolveExternals(VARIANT_FALSE);
        VARIANT_BOOL loaded = VARIANT_FALSE;
        ASSERT_TRUE(SUCCEEDED(document->load(ByteVariant(bytes).get(), &loaded)));
        parsed = loaded == VARIANT_TRUE;
        if (!parsed)
            parseError = describeParseError();
        selectIn({{L"a", assemblyV1}, {L"s", assemblyV3}, {L"c", compatibilityV1}});
    }
    void TearDown() override
    {
        document.Reset();
        CoUninitialize();
    }

    std::string describeParseError() const
    {
        ComPtr<IXMLDOMParseError> error;
        document->get_parseError(error.ReleaseAndGetAddressOf());
        Bstr reason;
        long line = 0, column = 0;
        if (error) {
            error->get_reason(reason.put());
            error->get_line(&line);
            error->get_linepos(&column);
        }
        return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + reason.text();
    }

    // XPath queries with these prefixes.
    void selectIn(const std::vector<std::pair<std::wstring, std::string>>& prefixes)
    {
        std::wstring declarations;
        for (const auto& [prefix, uri] : prefixes)
            declarations += L"xmlns:" + prefix + L"='" + std::wstring(uri.begin(), uri.end()) + L"' ";
        setProperty(L"SelectionLanguage", L"XPath");
        setProperty(L"SelectionNamespaces", declarations.c_str());
    }
    void setProperty(const wchar_t* name, const wchar_t* text)
    {
        Bstr property(name);
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(text);
        document->setProperty(property.get(), value);
        VariantClear(&value);
    }

    // The text of the attribute of every node the query selects.
    std::vector<std::string> attributeOfEach(const wchar_t* query, const wchar_t* attribute) const
    {
        std::vector<std::string> values;
        ComPtr<IXMLDOMNodeList> nodes;
        Bstr path(query);
        if (FAILED(document->selectNodes(path.get(), nodes.ReleaseAndGetAddressOf())) || !nodes)
            return values;
        for (ComPtr<IXMLDOMNode> node; nodes->nextNode(node.ReleaseAndGetAddressOf()) == S_OK && node;) {
            ComPtr<IXMLDOMNamedNodeMap> attributes;
            ComPtr<IXMLDOMNode> found;
            Bstr name(attribute), value;
            if (SUCCEEDED(node->get_attributes(attributes.ReleaseAndGetAddressOf())) && attributes &&
                attributes->getNamedItem(name.get(), found.ReleaseAndGetAddressOf()) == S_OK && found &&
                SUCCEEDED(found->get_text(value.put()))) {
                values.push_back(value.text());
            } else {
                values.push_back("(none)");
            }
        }
        return values;
    }

    // "name: namespace" for every element whose namespace is not the one Windows
    // reads it in; counts the elements examined.
    void collectMisplacedElements(IXMLDOMNode* node, std::vector<std::string>& misplaced, int& examined) const
    {
        DOMNodeType type = NODE_INVALID;
        node->get_nodeType(&type);
        if (type == NODE_ELEMENT) {
            ++examined;
            Bstr name, uri;
            node->get_baseName(name.put());
            node->get_namespaceURI(uri.put());
            const auto expected = elementNamespaces.find(name.text());
            if (expected == elementNamespaces.end() || expected->second != uri.text())
                misplaced.push_back(name.text() + ": " + uri.text());
        }
        ComPtr<IXMLDOMNodeList> children;
        if (FAILED(node->get_childNodes(children.ReleaseAndGetAddressOf())) || !children)
            return;
        for (ComPtr<IXMLDOMNode> child; children->nextNode(child.ReleaseAndGetAddressOf()) == S_OK && child;)
            collectMisplacedElements(child.Get(), misplaced, examined);
    }

    ComPtr<IXMLDOMDocument2> document;
    bool parsed = false;
    std::string parseError;
};

TEST_F(Manifest, IsWellFormedXml)
{
    EXPECT_TRUE(parsed) << parseError;
}

TEST_F(Manifest, NamesEveryElementInTheNamespaceWindowsReadsItIn)
{
    ASSERT_TRUE(parsed) << parseError;
    ComPtr<IXMLDOMElement> root;
    ASSERT_EQ(document->get_documentElement(root.ReleaseAndGetAddressOf()), S_OK);
    std::vector<std::string> misplaced;
    int examined = 0;
    collectMisplacedElements(root.Get(), misplaced, examined);
    EXPECT_GE(examined, 12) << "elements examined";
    EXPECT_EQ(misplaced, std::vector<std::string>{});
    EXPECT_EQ(attributeOfEach(L"/a:assembly", L"manifestVersion"), std::vector<std::string>{"1.0"});
}

TEST_F(Manifest, RunsTheLauncherAsTheInvokingUserWithoutFileRedirection)
{
    const wchar_t level[] = L"/a:assembly/s:trustInfo/s:security/s:requestedPrivileges/s:requestedExecutionLevel";
    EXPECT_EQ(attributeOfEach(level, L"level"), std::vector<std::string>{"asInvoker"});
    EXPECT_EQ(attributeOfEach(level, L"uiAccess"), std::vector<std::string>{"false"});
}

TEST_F(Manifest, DeclaresWindows7To11)
{
    EXPECT_EQ(
        attributeOfEach(L"/a:assembly/c:compatibility/c:application/c:supportedOS", L"Id"),
        (std::vector<std::string>{"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                                  "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}));
}

TEST_F(Manifest, AsksForVersion6OfTheCommonControls)
{
    const wchar_t identity[] = L"/a:assembly/a:dependency/a:dependentAssembly/a:assemblyIdentity";
    EXPECT_EQ(attributeOfEach(identity, L"name"), std::vector<std::string>{"Microsoft.Windows.Common-Controls"});
    EXPECT_EQ(attributeOfEach(identity, L"version"), std::vector<std::string>{"6.0.0.0"});
    EXPECT_EQ(attributeOfEach(identity, L"publicKeyToken"), std::vector<std::string>{"6595b64144ccf1df"});
}

TEST_F(Manifest, NamesTheProgramsOwnArchitecture)
{
    const std::string architecture = environment("TAVRIN_CHECK_ARCH") == "x86" ? "x86" : "amd64";
    EXPECT_EQ(attributeOfEach(L"/a:assembly/a:assemblyIdentity", L"processorArchitecture"),
              std::vector<std::string>{architecture});
}

} // namespace
