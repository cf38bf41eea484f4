// The late-bound automation client of Windows, for callers beyond the run's
// own Automation: the settings store and tests.
#pragma once

#include <oaidl.h>
#include <wrl/client.h>

#include <string>

#include "host/busy.h"

#include "host/value.h"

namespace traskel::host::com {

// A new object of the class named (a ProgID); the thread must be in an
// apartment. Failures are Errors numbered by their HRESULT.
ObjectPtr CreateComObject(const std::string& className);

// The dispatch id of a member name of an object CreateComObject made.
DispId DispIdOfName(const ObjectPtr& object, const std::string& name);

// Wraps an IDispatch (adding a reference) as the client's object.
ObjectPtr WrapDispatch(IDispatch* dispatch);

// The IDispatch behind one of the client's objects, or nullptr.
IDispatch* DispatchOf(const ObjectPtr& object);

// The message filter the client registers (see MakeComAutomation).
Microsoft::WRL::ComPtr<IMessageFilter> MakeBusyMessageFilter(BusyWait wait);

}  // namespace traskel::host::com
