// The simulated host's COM server, shared by its two forms: quorvex_sim.dll,
// loaded into the client, and quorvex_sim_host.exe, a program of its own as
// the host application is. Both serve the classes "Quorvex.Application" and
// "Quorvex.PointData"; every object is an IDispatch whose Invoke hands the
// call to the model the embedded host uses. All objects of a process share
// one host.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <span>
#include <string>

#include "quorvex_sim/sim_host.h"

namespace quorvex_sim::com_server {

// The ids of the two classes.
std::span<const CLSID> ClassIds();

// A new class object of one of the two classes.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** out);

// The host the process's objects share: made, and configured from the
// environment, when an object is created while none is alive.
std::shared_ptr<SimHost> ProcessHost();
// How the process ends at QUORVEX_SIM_EXIT_AT; for hosts made from then on.
// Only the program form sets it: in process, the end would be the client's,
// so that host raises an error instead.
void EndProcessWith(std::function<void()> endProcess);

// No object, server lock or class object is alive.
bool Unused();
// Whether any client has asked for an object yet.
bool ClientHasCome();
// Called on the server's thread when a creation leaves no object or lock
// alive, and when the last of them goes.
void WhenNoObjectsLeft(std::function<void()> callback);

enum class Serving { InProcess, LocalServer };

// Registers both classes per machine, served from the module at path. A
// registration of the other kind goes: while a class has an in-process
// server, COM takes that one even with the program running.
HRESULT Register(Serving serving, const std::wstring& modulePath);
// Removes both classes.
HRESULT Unregister();

}  // namespace quorvex_sim::com_server
