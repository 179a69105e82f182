// The provider's fixed identifiers. Registration and every client rely on them: they never
// change between builds.
#pragma once

#include <windows.h>

// {6B1E7C52-3A4D-4F8B-9C2E-5D7A1F3B8E40}: the provider class WMIPipewayProvider.
extern const CLSID CLSID_WMIPipewayProvider;
// {3C9F1A2B-7D4E-4B61-8A5F-2E6D9C0B7A13}: the server's application entry.
extern const GUID APPID_iPipewayProvider;
// {A4D2E8F1-5B3C-4E7A-9D16-8F0C2B5E7A39}: the type library iPipewayProviderLib 1.0.
extern const GUID LIBID_iPipewayProviderLib;

#define PW_CLSID_TEXT "{6B1E7C52-3A4D-4F8B-9C2E-5D7A1F3B8E40}"
#define PW_APPID_TEXT "{3C9F1A2B-7D4E-4B61-8A5F-2E6D9C0B7A13}"
#define PW_LIBID_TEXT "{A4D2E8F1-5B3C-4E7A-9D16-8F0C2B5E7A39}"
