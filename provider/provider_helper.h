// The provider helpers: the instance-path check, and the helper object that keeps the
// extended-status class of the provider's namespace.
#pragma once

#include "pw/resources.h"

#include <wbemidl.h>

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
