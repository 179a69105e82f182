// The COM objects of the object-path parser: the path, its key list and their class factory.
// The methods the system does not call answer E_NOTIMPL.
#include "wbempath/wbem_path.h"

#include "wbempath/wbem_path_syntax.h"

#include <wbemidl.h>
#include <wmiutils.h>

#include "pw/hresult.h"
#include "pw/resources.h"
#include "pw/unknown.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace pwwbempath {

namespace {

constexpr HRESULT kInvalidParameter = static_cast<HRESULT>(WBEM_E_INVALID_PARAMETER);
constexpr HRESULT kBufferTooSmall = static_cast<HRESULT>(WBEM_E_BUFFER_TOO_SMALL);
constexpr HRESULT kNotAvailable = static_cast<HRESULT>(WBEM_E_NOT_AVAILABLE);

std::atomic<long> g_liveObjects{0};
std::atomic<long> g_serverLocks{0};

// Hands a text out with the size protocol of the path calls (sizes in characters, terminator
// included): no buffer asks for the size; a buffer too small gives WBEM_E_BUFFER_TOO_SMALL.
HRESULT DeliverText(const std::wstring& text, ULONG* size, LPWSTR buffer) {
    if (size == nullptr) {
        return kInvalidParameter;
    }
    const auto needed = static_cast<ULONG>(text.size() + 1);
    if (buffer == nullptr) {
        *size = needed;
        return S_OK;
    }
    if (*size < needed) {
        *size = needed;
        return kBufferTooSmall;
    }
    std::memcpy(buffer, text.c_str(), needed * sizeof(wchar_t));
    *size = needed;
    return S_OK;
}

// Counted in the parser's live objects for as long as it exists: the library may unload only
// when none is left.
class LiveObject : private pw::NoCopy {
  public:
    LiveObject() { ++g_liveObjects; }
    ~LiveObject() { --g_liveObjects; }
};

class WbemPath;

class WbemPathKeyList final : public pw::ComObject<IWbemPathKeyList>, private LiveObject {
  public:
    // The key list keeps its path alive.
    explicit WbemPathKeyList(WbemPath* owner);

    HRESULT WINAPI GetCount(ULONG* puKeyCount) override;
    HRESULT WINAPI SetKey(LPCWSTR, ULONG, ULONG, LPVOID) override { return E_NOTIMPL; }
    HRESULT WINAPI SetKey2(LPCWSTR, ULONG, ULONG, VARIANT*) override { return E_NOTIMPL; }
    HRESULT WINAPI GetKey(ULONG, ULONG, ULONG*, LPWSTR, ULONG*, LPVOID, ULONG*) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI GetKey2(ULONG uKeyIx, ULONG uFlags, ULONG* puNameBufSize, LPWSTR pszKeyName,
                           VARIANT* pKeyValue, ULONG* puApparentCimType) override;
    HRESULT WINAPI RemoveKey(LPCWSTR, ULONG) override { return E_NOTIMPL; }
    HRESULT WINAPI RemoveAllKeys(ULONG) override { return E_NOTIMPL; }
    HRESULT WINAPI MakeSingleton(boolean) override { return E_NOTIMPL; }
    HRESULT WINAPI GetInfo(ULONG, ULONGLONG*) override { return E_NOTIMPL; }
    HRESULT WINAPI GetText(LONG, ULONG*, LPWSTR) override { return E_NOTIMPL; }

  private:
    ~WbemPathKeyList() override;
    pw::ComPtr<WbemPath> m_owner;
};

class WbemPath final : public pw::ComObject<IWbemPath>, private LiveObject {
  public:
    // The key list works on the path's data under the path's lock.
    std::mutex& Lock() { return m_lock; }
    PathData& Data() { return m_data; }

    // Modes other than the three ACCEPT ones are refused; ACCEPT_RELATIVE alone refuses a
    // server, ACCEPT_ABSOLUTE alone wants a server or a namespace. A path refused leaves the
    // object empty.
    HRESULT WINAPI SetText(ULONG uMode, LPCWSTR pszPath) override {
        return pw::Guarded(pw::kWbemFailures, [&] {
            std::lock_guard<std::mutex> guard(m_lock);
            constexpr ULONG kAccept = WBEMPATH_CREATE_ACCEPT_RELATIVE |
                                      WBEMPATH_CREATE_ACCEPT_ABSOLUTE | WBEMPATH_CREATE_ACCEPT_ALL;
            PathData parsed;
            if (pszPath == nullptr || (uMode & kAccept) == 0 || !Parse(pszPath, uMode, parsed)) {
                m_data = PathData{};
                return kInvalidParameter;
            }
            const bool absolute = parsed.hasServer || parsed.hasNamespace;
            if ((uMode & WBEMPATH_CREATE_ACCEPT_ALL) == 0 &&
                (((uMode & WBEMPATH_CREATE_ACCEPT_RELATIVE) == 0 && !absolute) ||
                 ((uMode & WBEMPATH_CREATE_ACCEPT_ABSOLUTE) == 0 && parsed.hasServer))) {
                m_data = PathData{};
                return kInvalidParameter;
            }
            m_data = std::move(parsed);
            return S_OK;
        });
    }

    HRESULT WINAPI GetText(LONG, ULONG*, LPWSTR) override { return E_NOTIMPL; }

    HRESULT WINAPI GetInfo(ULONG uRequestedInfo, ULONGLONG* puResponse) override {
        if (uRequestedInfo != 0 || puResponse == nullptr) {
            return kInvalidParameter;
        }
        std::lock_guard<std::mutex> guard(m_lock);
        *puResponse = PathInfo(m_data);
        return S_OK;
    }

    HRESULT WINAPI SetServer(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI GetServer(ULONG*, LPWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI GetNamespaceCount(ULONG*) override { return E_NOTIMPL; }
    HRESULT WINAPI SetNamespaceAt(ULONG, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI GetNamespaceAt(ULONG, ULONG*, LPWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI RemoveNamespaceAt(ULONG) override { return E_NOTIMPL; }
    HRESULT WINAPI RemoveAllNamespaces(void) override { return E_NOTIMPL; }
    HRESULT WINAPI GetScopeCount(ULONG*) override { return E_NOTIMPL; }
    HRESULT WINAPI SetScope(ULONG, LPWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI SetScopeFromText(ULONG, LPWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI GetScope(ULONG, ULONG*, LPWSTR, IWbemPathKeyList**) override {
        return E_NOTIMPL;
    }
    HRESULT WINAPI GetScopeAsText(ULONG, ULONG*, LPWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI RemoveScope(ULONG) override { return E_NOTIMPL; }
    HRESULT WINAPI RemoveAllScopes(void) override { return E_NOTIMPL; }
    HRESULT WINAPI SetClassName(LPCWSTR) override { return E_NOTIMPL; }

    // Sizes count characters and the terminator. No buffer, or one too small, gives
    // WBEM_E_BUFFER_TOO_SMALL and the size needed; a path without a class gives
    // WBEM_E_INVALID_PARAMETER.
    HRESULT WINAPI GetClassName(ULONG* puBuffLength, LPWSTR pszName) override {
        return pw::Guarded(pw::kWbemFailures, [&] {
            std::lock_guard<std::mutex> guard(m_lock);
            if (puBuffLength == nullptr || m_data.className.empty()) {
                return kInvalidParameter;
            }
            const auto needed = static_cast<ULONG>(m_data.className.size() + 1);
            if (pszName == nullptr || *puBuffLength < needed) {
                *puBuffLength = needed;
                return kBufferTooSmall;
            }
            return DeliverText(m_data.className, puBuffLength, pszName);
        });
    }

    // Only an instance path has a key list (an empty one for a singleton); a class or
    // namespace path gives WBEM_E_NOT_AVAILABLE. The list reads this path's keys and keeps the
    // path alive.
    HRESULT WINAPI GetKeyList(IWbemPathKeyList** pOut) override {
        return pw::Guarded(pw::kWbemFailures, [&] {
            if (pOut == nullptr) {
                return kInvalidParameter;
            }
            *pOut = nullptr;
            {
                std::lock_guard<std::mutex> guard(m_lock);
                if (m_data.className.empty() || (m_data.keys.empty() && !m_data.singleton)) {
                    return kNotAvailable;
                }
            }
            *pOut = new WbemPathKeyList(this);
            return S_OK;
        });
    }

    HRESULT WINAPI CreateClassPart(LONG, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT WINAPI DeleteClassPart(LONG) override { return E_NOTIMPL; }
    // The questions below have no way to report E_NOTIMPL; they answer no.
    WINBOOL WINAPI IsRelative(LPWSTR, LPWSTR) override { return FALSE; }
    WINBOOL WINAPI IsRelativeOrChild(LPWSTR, LPWSTR, LONG) override { return FALSE; }
    WINBOOL WINAPI IsLocal(LPCWSTR) override { return FALSE; }
    WINBOOL WINAPI IsSameClassName(LPCWSTR) override { return FALSE; }

  private:
    std::mutex m_lock;
    PathData m_data;
};

WbemPathKeyList::WbemPathKeyList(WbemPath* owner) {
    m_owner.copy_from(owner);
}

WbemPathKeyList::~WbemPathKeyList() = default;

HRESULT WINAPI WbemPathKeyList::GetCount(ULONG* puKeyCount) {
    if (puKeyCount == nullptr) {
        return kInvalidParameter;
    }
    std::lock_guard<std::mutex> guard(m_owner->Lock());
    *puKeyCount = static_cast<ULONG>(m_owner->Data().keys.size());
    return S_OK;
}

// The value comes as VT_BSTR (strings), VT_I4 (integers that fit), VT_I8 or VT_UI8 (beyond)
// or VT_BOOL, with its apparent CIM type.
HRESULT WINAPI WbemPathKeyList::GetKey2(ULONG uKeyIx, ULONG uFlags, ULONG* puNameBufSize,
                                        LPWSTR pszKeyName, VARIANT* pKeyValue,
                                        ULONG* puApparentCimType) {
    (void)uFlags;
    return pw::Guarded(pw::kWbemFailures, [&] {
        std::lock_guard<std::mutex> guard(m_owner->Lock());
        const std::vector<PathKey>& keys = m_owner->Data().keys;
        if (uKeyIx >= keys.size() || puNameBufSize == nullptr) {
            return kInvalidParameter;
        }
        const PathKey& key = keys[uKeyIx];
        const HRESULT named = DeliverText(key.name, puNameBufSize, pszKeyName);
        if (FAILED(named)) {
            return named;
        }
        if (pKeyValue != nullptr) {
            const HRESULT converted = ToVariant(key.value, pKeyValue);
            if (FAILED(converted)) {
                return converted;
            }
        }
        if (puApparentCimType != nullptr) {
            *puApparentCimType = CimTypeOf(key.value);
        }
        return S_OK;
    });
}

class WbemPathFactory final : public pw::ComObject<IClassFactory>, private LiveObject {
  public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                             void** ppvObject) override {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        *ppvObject = nullptr;
        if (pUnkOuter != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        const pw::ComPtr<WbemPath> path(new (std::nothrow) WbemPath);
        if (!path) {
            return E_OUTOFMEMORY;
        }
        return path->QueryInterface(riid, ppvObject);
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
        if (fLock) {
            ++g_serverLocks;
        } else {
            --g_serverLocks;
        }
        return S_OK;
    }
};

}  // namespace

HRESULT GetClassObject(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    const pw::ComPtr<WbemPathFactory> factory(new (std::nothrow) WbemPathFactory);
    if (!factory) {
        return E_OUTOFMEMORY;
    }
    return factory->QueryInterface(riid, ppv);
}

bool CanUnload() {
    return g_liveObjects.load() == 0 && g_serverLocks.load() <= 0;
}

}  // namespace pwwbempath
