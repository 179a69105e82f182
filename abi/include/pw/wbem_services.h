// IWbemServices with every operation unsupported: the base of the system's namespaces and
// providers, which override the operations they serve.
#pragma once

#include "pw/resources.h"
#include "pw/unknown.h"

#include <wbemidl.h>

namespace pw {

// Each operation answers WBEM_E_NOT_SUPPORTED at once, reading none of its arguments.
class UnsupportedWbemServices : public IWbemServices {
  public:
    PW_UNOFFERED_METHOD(kNotSupported, OpenNamespace, const BSTR, LONG, IWbemContext*,
                        IWbemServices**, IWbemCallResult**)
    PW_UNOFFERED_METHOD(kNotSupported, CancelAsyncCall, IWbemObjectSink*)
    PW_UNOFFERED_METHOD(kNotSupported, QueryObjectSink, LONG, IWbemObjectSink**)
    PW_UNOFFERED_METHOD(kNotSupported, GetObject, const BSTR, LONG, IWbemContext*,
                        IWbemClassObject**, IWbemCallResult**)
    PW_UNOFFERED_METHOD(kNotSupported, GetObjectAsync, const BSTR, LONG, IWbemContext*,
                        IWbemObjectSink*)
    PW_UNOFFERED_METHOD(kNotSupported, PutClass, IWbemClassObject*, LONG, IWbemContext*,
                        IWbemCallResult**)
    PW_UNOFFERED_METHOD(kNotSupported, PutClassAsync, IWbemClassObject*, LONG, IWbemContext*,
                        IWbemObjectSink*)
    PW_UNOFFERED_METHOD(kNotSupported, DeleteClass, const BSTR, LONG, IWbemContext*,
                        IWbemCallResult**)
    PW_UNOFFERED_METHOD(kNotSupported, DeleteClassAsync, const BSTR, LONG, IWbemContext*,
                        IWbemObjectSink*)
    PW_UNOFFERED_METHOD(kNotSupported, CreateClassEnum, const BSTR, LONG, IWbemContext*,
                        IEnumWbemClassObject**)
    PW_UNOFFERED_METHOD(kNotSupported, CreateClassEnumAsync, const BSTR, LONG, IWbemContext*,
                        IWbemObjectSink*)
    PW_UNOFFERED_METHOD(kNotSupported, PutInstance, IWbemClassObject*, LONG, IWbemContext*,
                        IWbemCallResult**)
    PW_UNOFFERED_METHOD(kNotSupported, PutInstanceAsync, IWbemClassObject*, LONG, IWbemContext*,
                        IWbemObjectSink*)
    PW_UNOFFERED_METHOD(kNotSupported, DeleteInstance, const BSTR, LONG, IWbemContext*,
                        IWbemCallResult**)
    PW_UNOFFERED_METHOD(kNotSupported, DeleteInstanceAsync, const BSTR, LONG, IWbemContext*,
                        IWbemObjectSink*)
    PW_UNOFFERED_METHOD(kNotSupported, CreateInstanceEnum, const BSTR, LONG, IWbemContext*,
                        IEnumWbemClassObject**)
    PW_UNOFFERED_METHOD(kNotSupported, CreateInstanceEnumAsync, const BSTR, LONG, IWbemContext*,
                        IWbemObjectSink*)
    PW_UNOFFERED_METHOD(kNotSupported, ExecQuery, const BSTR, const BSTR, LONG, IWbemContext*,
                        IEnumWbemClassObject**)
    PW_UNOFFERED_METHOD(kNotSupported, ExecQueryAsync, const BSTR, const BSTR, LONG, IWbemContext*,
                        IWbemObjectSink*)
    PW_UNOFFERED_METHOD(kNotSupported, ExecNotificationQuery, const BSTR, const BSTR, LONG,
                        IWbemContext*, IEnumWbemClassObject**)
    PW_UNOFFERED_METHOD(kNotSupported, ExecNotificationQueryAsync, const BSTR, const BSTR, LONG,
                        IWbemContext*, IWbemObjectSink*)
    PW_UNOFFERED_METHOD(kNotSupported, ExecMethod, const BSTR, const BSTR, LONG, IWbemContext*,
                        IWbemClassObject*, IWbemClassObject**, IWbemCallResult**)
    PW_UNOFFERED_METHOD(kNotSupported, ExecMethodAsync, const BSTR, const BSTR, LONG, IWbemContext*,
                        IWbemClassObject*, IWbemObjectSink*)

  private:
    static constexpr HRESULT kNotSupported = Hr(WBEM_E_NOT_SUPPORTED);
};

// Its objects answer for IWbemServices.
template <>
struct InterfaceId<UnsupportedWbemServices> : InterfaceId<IWbemServices> {};

}  // namespace pw
