// The provider helpers: the instance-path check, and the helper object that keeps the
// extended-status class of the provider's namespace.
#pragma once

#include "pw/resources.h"

#include <wbemidl.h>

#include <vector>

// Makes `buffer` room for any part of the object path `path` with its terminator, filled with
// nuls, and gives its size in characters. Fails with the system's arithmetic-overflow error when
// the path is as long as a length can say, and with WBEM_E_OUT_OF_MEMORY.
HRESULT PathPartBuffer(const BSTR path, std::vector<WCHAR>& buffer, ULONG& size);

class CProviderHelper {
  public:
    virtual ~CProviderHelper() = default;

    // Succeeds when `path` parses, names `className` (compared case-insensitively under the
    // English (United States) locale) and carries one of `requiredInfo`'s WBEMPATH_INFO bits.
    HRESULT ValidateInstancePath(IClassFactory* pathParserFactory, const BSTR path,
                                 const BSTR className, ULONGLONG requiredInfo);
};

class CInstanceProviderHelper : public CProviderHelper {
  public:
    // Asks the namespace for its "__ExtendedStatus" class and keeps it.
    CInstanceProviderHelper(IWbemServices* ns, IWbemContext* context);

  private:
    pw::ComPtr<IWbemClassObject> m_extendedStatusClass;
};
