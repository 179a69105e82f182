// The provider library as a COM server: its class object, its unload rule, registration, and
// activation through the registry the way the platform's COM runtime does it.
#include "tests/e2e/provider_fixture.h"

#include <atomic>
#include <set>
#include <thread>

namespace pwtest {
namespace {

const std::string kClsid = "{6B1E7C52-3A4D-4F8B-9C2E-5D7A1F3B8E40}";
const std::string kAppId = "{3C9F1A2B-7D4E-4B61-8A5F-2E6D9C0B7A13}";
const std::string kLibId = "{A4D2E8F1-5B3C-4E7A-9D16-8F0C2B5E7A39}";
const std::string kClassKey = "CLSID\\" + kClsid;
const std::string kAppIdKey = "AppID\\" + kAppId;
const std::string kProgId = "iPipewayProvider.WMIPipewayProvider.1";
const std::string kIndependentProgId = "iPipewayProvider.WMIPipewayProvider";
const std::string kDescription = "WMIPipewayProvider Class";

// A string value under the classes root (`name` null: the default value), or nothing.
std::optional<std::string> ClassesRootValue(const std::string& keyPath, const char* name) {
    pw::UniqueKey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    char value[1024] = {};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    const LONG error =
        RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    if (error != ERROR_SUCCESS || type != REG_SZ) {
        return std::nullopt;
    }
    return std::string(value);
}

bool KeyExists(const std::string& keyPath) {
    pw::UniqueKey key;
    return RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, key.put()) ==
           ERROR_SUCCESS;
}

using Value = std::optional<std::string>;

class ComServer : public ProviderTest {};

TEST_F(ComServer, OtherClassAggregationAndOtherInterfacesAreRefused) {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(m_host->GetClassObject(IID_IWbemServices, IID_IClassFactory,
                                     reinterpret_cast<void**>(&factory)),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(factory, nullptr);
    EXPECT_EQ(m_host->GetClassObject(host::kProviderClsid, IID_IClassFactory, nullptr), E_POINTER);

    // Aggregation and interfaces other than the provider's are refused too.
    pw::ComPtr<IClassFactory> held;
    ASSERT_EQ(m_host->GetClassObject(host::kProviderClsid, IID_IClassFactory, held.put_void()),
              S_OK);
    IUnknown* object = nullptr;
    EXPECT_EQ(held->CreateInstance(reinterpret_cast<IUnknown*>(held.get()), IID_IUnknown,
                                   reinterpret_cast<void**>(&object)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(held->CreateInstance(nullptr, IID_IClassFactory, reinterpret_cast<void**>(&object)),
              E_NOINTERFACE);
    held.reset();
    EXPECT_EQ(m_host->CanUnloadNow(), S_OK);  // the refused objects are gone again
}

TEST_F(ComServer, HeldClassFactoryAndServerLocksKeepTheLibrary) {
    pw::ComPtr<IClassFactory> factory;
    ASSERT_EQ(m_host->GetClassObject(host::kProviderClsid, IID_IClassFactory, factory.put_void()),
              S_OK);
    EXPECT_EQ(m_host->CanUnloadNow(), S_FALSE);
    // A balanced AddRef and Release leave the factory held.
    factory->AddRef();
    factory->Release();
    EXPECT_EQ(m_host->CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.reset();
    EXPECT_EQ(m_host->CanUnloadNow(), S_FALSE);  // the server lock still holds it
    pw::ComPtr<IClassFactory> again;
    ASSERT_EQ(m_host->GetClassObject(host::kProviderClsid, IID_IClassFactory, again.put_void()),
              S_OK);
    EXPECT_EQ(again->LockServer(FALSE), S_OK);
    again.reset();
    EXPECT_EQ(m_host->CanUnloadNow(), S_OK);
}

// The last provider object's teardown unloads the DA modules. While one unloads, inside that
// teardown, DllCanUnloadNow says no: COM's sweep, which asks from another thread, would
// otherwise unload the library under the destructor that is still running. (Asked from the
// unloading thread itself: a thread started inside a Windows library's unload would wait for
// the loader lock that the unload holds.)
class ComServerTeardown : public CommandTest {};

TEST_F(ComServerTeardown, LibraryIsNotUnloadableWhileTeardownRuns) {
    m_lumda->Answer("<ok/>");
    ASSERT_EQ(ExecString(L"daname=lumda64 velcmd=getobject").resultCode,
              std::optional<std::wstring>(L"0"));
    struct Seen {
        host::ProviderHost* host;
        std::optional<HRESULT> answer;
    } seen{m_host.get(), std::nullopt};
    m_lumda->OnUnload({[](void* context) {
                           auto* watched = static_cast<Seen*>(context);
                           watched->answer = watched->host->CanUnloadNow();
                       },
                       &seen});
    m_lumda.reset();  // the provider's module cache holds the module alone now
    StopProvider();
    EXPECT_EQ(seen.answer, std::optional<HRESULT>(S_FALSE));
    EXPECT_EQ(m_host->CanUnloadNow(), S_OK);
}

TEST_F(ComServer, ThreadsAskingAtOnceGetTheSameFactory) {
    constexpr int kThreads = 8;
    std::vector<pw::ComPtr<IClassFactory>> factories(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, &factories, t] {
            m_host->GetClassObject(host::kProviderClsid, IID_IClassFactory,
                                   factories[static_cast<std::size_t>(t)].put_void());
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::set<IClassFactory*> distinct;
    for (const pw::ComPtr<IClassFactory>& factory : factories) {
        ASSERT_TRUE(factory);
        distinct.insert(factory.get());
    }
    EXPECT_EQ(distinct.size(), 1u);
    factories.clear();
    EXPECT_EQ(m_host->CanUnloadNow(), S_OK);
}

TEST_F(ComServer, ReferenceCountsHoldUnderConcurrentAddRefAndRelease) {
    ASSERT_EQ(m_host->CreateProvider(m_provider.put()), S_OK);
    IWbemProviderInit* init = nullptr;
    ASSERT_EQ(m_provider->QueryInterface(IID_IWbemProviderInit, reinterpret_cast<void**>(&init)),
              S_OK);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, init] {
            for (int i = 0; i < 10000; ++i) {
                m_provider->AddRef();
                init->AddRef();
                m_provider->Release();
                init->Release();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    // Both interfaces share one count: two references remain, and the object lives.
    EXPECT_EQ(init->Release(), 1u);
    EXPECT_EQ(m_host->CanUnloadNow(), S_FALSE);
    StopProvider();
    EXPECT_EQ(m_host->CanUnloadNow(), S_OK);
}

class Registration : public ProviderTest {
  protected:
    void TearDown() override {
        m_host->UnregisterServer();
        ProviderTest::TearDown();
    }
};

TEST_F(Registration, WritesTheClassAndAppIdEntriesAndUnregisteringRemovesThem) {
    SetThreadLocale(0x0409);
    ASSERT_EQ(m_host->RegisterServer(), S_OK);
    EXPECT_EQ(GetThreadLocale(), static_cast<LCID>(0x0409));

    // The registration as the server's two registry scripts and its type library write it, a
    // value to a row: key under the classes root, value name (null: the default value), text.
    const struct {
        std::string key;
        const char* name;
        std::string value;
    } rows[] = {
        {kAppIdKey, nullptr, "iPipewayProvider"},
        {"AppID\\iPipewayProvider.DLL", "AppID", kAppId},
        {kProgId, nullptr, kDescription},
        {kProgId + "\\CLSID", nullptr, kClsid},
        {kIndependentProgId, nullptr, kDescription},
        {kIndependentProgId + "\\CLSID", nullptr, kClsid},
        {kIndependentProgId + "\\CurVer", nullptr, kProgId},
        {kClassKey, nullptr, kDescription},
        {kClassKey, "AppID", "{" + kAppId + "}"},
        {kClassKey + "\\ProgID", nullptr, kProgId},
        {kClassKey + "\\VersionIndependentProgID", nullptr, kIndependentProgId},
        {kClassKey + "\\InprocServer32", "ThreadingModel", "Both"},
        {kClassKey + "\\TypeLib", nullptr, kLibId},
        {"TypeLib\\" + kLibId + "\\1.0", nullptr, "iPipewayProvider 1.0 Type Library"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ClassesRootValue(row.key, row.name), Value(row.value))
            << row.key << " " << (row.name == nullptr ? "(default)" : row.name);
    }
    // The server's own path, however the platform spells it.
    const Value server = ClassesRootValue(kClassKey + "\\InprocServer32", nullptr);
    ASSERT_TRUE(server.has_value());
    EXPECT_TRUE(std::filesystem::equivalent(*server, ProviderLibraryPath())) << *server;

    // Unregistering removes the class, but not the roots.
    ASSERT_EQ(m_host->UnregisterServer(), S_OK);
    EXPECT_EQ(GetThreadLocale(), static_cast<LCID>(0x0409));
    EXPECT_FALSE(KeyExists(kClassKey));
    EXPECT_FALSE(KeyExists(kProgId));
    EXPECT_FALSE(KeyExists(kIndependentProgId));
    EXPECT_FALSE(KeyExists(kAppIdKey));
    EXPECT_TRUE(KeyExists("CLSID"));
    EXPECT_TRUE(KeyExists("AppID"));
}

#if !defined(_WIN32)
TEST_F(Registration, FailureRestoresTheLocaleToo) {
    SetThreadLocale(0x0409);
    SetEnvironmentVariableA("PIPEWAY_REGISTRY", nullptr);  // no registry to write into
    EXPECT_TRUE(FAILED(m_host->RegisterServer()));
    EXPECT_EQ(GetThreadLocale(), static_cast<LCID>(0x0409));
    SetEnvironmentVariableA("PIPEWAY_REGISTRY",
                            (m_registryDir->path() / "registry.txt").string().c_str());
}
#endif

TEST_F(Registration, RegisteredProviderIsCreatedThroughTheRegistry) {
    ASSERT_EQ(m_host->RegisterServer(), S_OK);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(L"iPipewayProvider.WMIPipewayProvider", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, host::kProviderClsid));
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemServices,
                               m_provider.put_void()),
              S_OK);
    {
        const pw::ComPtr<host::InitSink> sink(new host::InitSink);
        host::ClientCall client(L"HOST\\alice", kImpersonate);
        EXPECT_EQ(m_host->Initialize(m_provider.get(), sink.get()), S_OK);
    }

    TestDA rights("rukda64");
    rights.Answer(MaskAnswer(4));
    TestDA tarda("tarda64");
    tarda.Answer("<IPAddress>10.0.0.9</IPAddress>");
    const CallResult method = ExecString(L"daname=lumda64 velcmd=getobject");
    EXPECT_EQ(method.resultCode, std::optional<std::wstring>(L"0"));
    EXPECT_EQ(method.returnValue,
              std::optional<std::wstring>(L"daname=lumda64\nvelcmd=getobject\nlocalLogin=TRUE"));
    const CallResult enumeration = Enumerate();
    EXPECT_EQ(enumeration.ipv4, std::optional<std::wstring>(L"10.0.0.9"));
    const CallResult lookup = Lookup(kInstancePath);
    EXPECT_EQ(lookup.instanceId, std::optional<std::wstring>(L"ZOLM_OEM_DataAccessModule1"));
    // The token-array method is served like the string method.
    pw::UniqueVariant input;
    host::SetArrayInput(input, {L"daname=lumda64", L"velcmd=getobject"});
    const CallResult result =
        Exec(input.get(), kImpersonate, kInstancePath, host::kExecuteCommandTokens);
    EXPECT_EQ(result.resultCode, std::optional<std::wstring>(L"0"));
    StopProvider();
    CoUninitialize();
}

}  // namespace
}  // namespace pwtest
