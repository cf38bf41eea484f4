// The COM client's value mapping, against the registered simulated host (whose
// trace shows what arrived) and against a callee of the test's own (which
// shows how arguments are laid out and written back).
#include <oaidl.h>
#include <windows.h>

#include <wrl/client.h>

#include <chrono>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/com_automation.h"
#include "host/com_client_win32.h"
#include "host/com_win32.h"
#include "sim_session.h"
#include "support/host_errors.h"

namespace traskel {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace host;

using testing::ErrorOf;

// The objects a run fetches when it connects.
struct Connection {
  explicit Connection(Automation& automation)
      : app(automation.CreateObject("Quorvex.Application")),
        pointData(automation.CreateObject("Quorvex.PointData")),
        program(AsObject(app.Get(2))),
        cmds(AsObject(program.Get(11))) {}

  Ref NewFeature(Value& typeCode) {
    cmd = AsObject(cmds.Call(8, ByRef(typeCode), Bool(true)));
    return AsObject(cmd.Get(9));
  }

  // FeatureData 60 with the point data by reference, as a run stores a slot.
  static Value StoreSlot(const Ref& feature, Value& carrier, std::int32_t slot) {
    return feature.Call(60, ByRef(carrier), I4(slot), I4(100), I4(13), Str(""), I4(0));
  }

  // A new point whose point data went through FeatureData 60 once; carrier
  // holds what the host left in the argument.
  Ref NewPointWithSlot(Value& carrier) {
    Value code = I4(603);
    Ref feature = NewFeature(code);
    carrier = Obj(pointData.ptr());
    StoreSlot(feature, carrier, 0);
    return feature;
  }

  Ref app, pointData, program, cmds, cmd;
};

class ComClient : public ::testing::Test {
 protected:
  testing::SimSession sim;
  std::unique_ptr<Automation> automation = MakeComAutomation();
};

TEST_F(ComClient, EachTypeArrivesAsItselfAndResultsComeBackTyped) {
  {
    Connection c(*automation);
    c.app.Put(9, Str("Grüße – 12,5 % \"x\""));
    c.pointData.Call(7, R8(1.5), R8(-0.25), R8(1e20));
    Value code = I4(603);
    Ref feature = c.NewFeature(code);
    feature.Put(4, I2(-7));
    feature.Put(9, Bool(true));
    Value carrier = Obj(c.pointData.ptr());
    Value stored = Connection::StoreSlot(feature, carrier, 1);
    EXPECT_EQ(stored, Bool(true));
    EXPECT_EQ(com::DispatchOf(carrier.obj()), com::DispatchOf(c.pointData.ptr()));
    EXPECT_EQ(code, I4(603));
    EXPECT_EQ(c.cmds.Call(5, Obj(c.cmd.ptr())), Bool(true));
    EXPECT_EQ(c.cmd.Call(28, Str("NO"), I4(43), I4(0)).type(), Type::Empty);
  }
  EXPECT_THAT(
      sim.Trace(),
      ElementsAre(
          "create \"Quorvex.Application\" -> Obj:Application",
          "create \"Quorvex.PointData\" -> Obj:PointData",
          "Application get 2 -> Obj:MeasurementProgram", "MeasurementProgram get 11 -> Obj:CMDS",
          "Application put 9 Str:\"Grüße – 12,5 % \\\"x\\\"\"",
          "PointData call 7 R8:1.5 R8:-0.25 R8:1e+20", "CMDS call 8 I4&:603 Bool:True -> Obj:Cmd",
          "Cmd get 9 -> Obj:FeatureData", "FeatureData put 4 I2:-7", "FeatureData put 9 Bool:True",
          "FeatureData call 60 Obj&:PointData I4:1 I4:100 I4:13 Str:\"\" I4:0 -> "
          "Bool:True",
          "CMDS call 5 Obj:Cmd -> Bool:True", "Cmd call 28 Str:\"NO\" I4:43 I4:0"));
}

TEST_F(ComClient, ByRefObjectComesBackAsThePointDataTheHostHandsBack) {
  testing::SimSession::Set("QUORVEX_SIM_HAND_BACK_POINT_DATA", "1");
  Connection c(*automation);
  Value carrier;
  Ref feature = c.NewPointWithSlot(carrier);
  ASSERT_EQ(carrier.type(), Type::Obj);
  ASSERT_NE(carrier.obj(), nullptr);
  EXPECT_NE(com::DispatchOf(carrier.obj()), com::DispatchOf(c.pointData.ptr()));
  // The new object is the host's point data: it takes the next values, and
  // goes back into the next hand-over as such.
  Ref fresh = AsObject(carrier);
  fresh.Call(8, R8(0), R8(0), R8(1));
  Connection::StoreSlot(feature, carrier, 1);
  EXPECT_THAT(sim.Trace(), Contains("PointData call 8 R8:0 R8:0 R8:1"));
  EXPECT_THAT(sim.Trace(), Contains(HasSubstr("FeatureData call 60 Obj&:PointData I4:1 ")));
}

TEST_F(ComClient, HostErrorsArriveWithTheirNumbersAndTexts) {
  Connection c(*automation);
  Error mismatch = ErrorOf([&] { c.pointData.Call(7, Str("x"), R8(2), R8(3)); });
  EXPECT_EQ(mismatch.number(), kTypeMismatch);
  EXPECT_EQ(mismatch.text(), "Type mismatch");
  Error member = ErrorOf([&] { c.app.Get(99); });
  EXPECT_EQ(member.number(), kNoSuchMember);
  EXPECT_EQ(member.text(), "Object doesn't support this property or method");
  EXPECT_EQ(ErrorOf([&] { c.pointData.Call(7, R8(1)); }).number(), kWrongArgumentCount);
  // The host knows its members by id only.
  EXPECT_EQ(ErrorOf([&] { com::DispIdOfName(c.app.ptr(), "StatusText"); }).number(), kNoSuchMember);
}

// In the client's process the host's end comes as an error too: ending
// the process would end the client.
TEST_F(ComClient, SimulatedFailureAndEndAreTheHostsExceptionsWithTheirNumber) {
  const struct {
    const char* variable;
    const char* text;
    const char* lastTraced;  // the failed operation is, the end comes first
  } cases[] = {
      {"QUORVEX_SIM_FAIL_AT", "Quorvex: simulated failure of operation 3", "Application get 2"},
      {"QUORVEX_SIM_EXIT_AT", "Quorvex: simulated host ended at operation 3",
       "create \"Quorvex.PointData\" -> Obj:PointData"},
  };
  for (const auto& c : cases) {
    testing::SimSession::Set(c.variable, "3");
    Ref app(automation->CreateObject("Quorvex.Application"));
    Ref pointData(automation->CreateObject("Quorvex.PointData"));
    Error failure = ErrorOf([&] { app.Get(2); });
    EXPECT_EQ(failure.number(), 440);
    EXPECT_EQ(failure.text(), c.text);
    EXPECT_EQ(sim.Trace().back(), c.lastTraced);
    testing::SimSession::Set(c.variable, "");
  }
}

// As a server built on a type library answers late-bound callers: a
// get and a call whose result is used come as method and get at once, and
// reach a property or a method of the id; a call made for its effect reaches
// methods only. The trace names what each reached.
TEST_F(ComClient, HostTakesEveryFormOfGetAndCallAndTracesThemByItsMembers) {
  Connection c(*automation);
  IDispatch* app = com::DispatchOf(c.app.ptr());
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  com::Variant program;
  EXPECT_EQ(
      app->Invoke(2, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &program.get(), nullptr, nullptr),
      S_OK);
  EXPECT_EQ(program.get().vt, VT_DISPATCH);
  EXPECT_TRUE(AsObject(c.app.Call(2)));
  Value code = I4(603);
  EXPECT_TRUE(AsObject(c.cmds.Call(8, ByRef(code), Bool(true))));
  c.cmds.CallIgnoringResult(8, I4(170), Bool(true));
  EXPECT_EQ(ErrorOf([&] { c.app.CallIgnoringResult(2); }).number(), kNoSuchMember);
  const std::vector<std::string> trace = sim.Trace();
  EXPECT_THAT(std::vector<std::string>(trace.begin() + 4, trace.end()),
              ElementsAre("Application get 2 -> Obj:MeasurementProgram",
                          "Application get 2 -> Obj:MeasurementProgram",
                          "CMDS call 8 I4&:603 Bool:True -> Obj:Cmd",
                          "CMDS call 8 I4:170 Bool:True -> Obj:Cmd", "Application call 2"));
}

TEST_F(ComClient, BusyHostRefusesCreationsAndCallsAsComRefusesThem) {
  testing::SimSession::Set("QUORVEX_SIM_BUSY", "2:60000");
  Ref app(automation->CreateObject("Quorvex.Application"));
  EXPECT_EQ(ErrorOf([&] { automation->CreateObject("Quorvex.PointData"); }).number(),
            kCallRejected);
  EXPECT_EQ(ErrorOf([&] { app.Get(2); }).number(), kCallRejected);
  EXPECT_THAT(sim.Trace(), ElementsAre("create \"Quorvex.Application\" -> Obj:Application"));
}

// Wine never asks a client's message filter, so its answers are checked here;
// Windows asks when a host answers "retry later".
TEST_F(ComClient, MessageFilterAsksForRetriesWithinTheBudgetAndTheClientHasItRegistered) {
  using std::chrono::milliseconds;
  const auto filter = com::MakeBusyMessageFilter({milliseconds(2'000), milliseconds(100)});
  for (const DWORD type : {SERVERCALL_RETRYLATER, SERVERCALL_REJECTED}) {
    EXPECT_EQ(filter->RetryRejectedCall(nullptr, 0, type), 100u);
    EXPECT_EQ(filter->RetryRejectedCall(nullptr, 1'999, type), 100u);
    EXPECT_EQ(filter->RetryRejectedCall(nullptr, 2'000, type), static_cast<DWORD>(-1));
  }
  EXPECT_EQ(filter->HandleInComingCall(CALLTYPE_TOPLEVEL, nullptr, 0, nullptr),
            static_cast<DWORD>(SERVERCALL_ISHANDLED));

  // The client's own sends a call again once, then leaves the waiting to
  // the run's wait: a budget of its own would come on top of that one.
  Microsoft::WRL::ComPtr<IMessageFilter> registered;
  ASSERT_EQ(CoRegisterMessageFilter(nullptr, &registered), S_OK);
  ASSERT_NE(registered, nullptr);
  EXPECT_EQ(registered->RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER), 100u);
  EXPECT_EQ(registered->RetryRejectedCall(nullptr, 100, SERVERCALL_RETRYLATER),
            static_cast<DWORD>(-1));
  CoRegisterMessageFilter(registered.Get(), nullptr);
}

TEST_F(ComClient, ClassesThatCannotBeCreatedGiveTheirHresultNumbers) {
  EXPECT_EQ(ErrorOf([&] { automation->CreateObject("Quorvex.Nichts"); }).number(),
            static_cast<int>(CO_E_CLASSSTRING));
  testing::SimSession::Set("QUORVEX_SIM_STATE", "absent");
  EXPECT_EQ(ErrorOf([&] { automation->CreateObject("Quorvex.Application"); }).number(), 429);
  EXPECT_THAT(sim.Trace(), ElementsAre("create \"Quorvex.Application\""));
}

TEST_F(ComClient, NothingComesBackAsAnEmptyReference) {
  testing::SimSession::Set("QUORVEX_SIM_STATE", "no-program");
  Ref app(automation->CreateObject("Quorvex.Application"));
  Value program = app.Get(2);
  ASSERT_EQ(program.type(), Type::Obj);
  EXPECT_EQ(program.obj(), nullptr);
}

// A callee of the test's own. Method 1 records its arguments' types in
// parameter order, doubles a by-reference I4, appends "!" to a by-reference
// string, puts I2 7 into a by-reference variant and returns the count.
// Method 2 returns a VARIANT of the type its one argument names. Member 3
// takes anything and gives nothing. Each call's flags are kept, and whether
// it asked for a result.
class Callee final : public IDispatch {
 public:
  std::vector<VARTYPE> seen;
  std::vector<WORD> flags;
  std::vector<bool> askedForResult;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid != IID_IUnknown && riid != IID_IDispatch) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD how, DISPPARAMS* p,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    flags.push_back(how);
    askedForResult.push_back(result != nullptr);
    if (id == 3) return S_OK;
    const UINT n = p->cArgs;
    if (id == 1) {
      for (UINT i = 0; i < n; ++i) {
        VARIANTARG& a = p->rgvarg[n - 1 - i];
        seen.push_back(a.vt);
        if (a.vt == (VT_BYREF | VT_I4)) *a.plVal *= 2;
        if (a.vt == (VT_BYREF | VT_BSTR)) {
          std::wstring text(*a.pbstrVal, SysStringLen(*a.pbstrVal));
          SysFreeString(*a.pbstrVal);
          *a.pbstrVal = SysAllocString((text + L"!").c_str());
        }
        if (a.vt == (VT_BYREF | VT_VARIANT)) {
          a.pvarVal->vt = VT_I2;
          a.pvarVal->iVal = 7;
        }
      }
      result->vt = VT_I4;
      result->lVal = static_cast<LONG>(n);
      return S_OK;
    }
    if (id == 2 && n == 1) {
      result->vt = static_cast<VARTYPE>(p->rgvarg[0].lVal);
      result->llVal = result->vt == VT_R4 ? 0 : 200;
      if (result->vt == VT_R4) result->fltVal = 0.5f;
      if (result->vt == VT_I8) result->llVal = 1LL << 40;
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  ULONG references = 1;
};

TEST_F(ComClient, ArgumentsGoLastFirstAndByRefOnesAreWrittenBack) {
  Callee callee;
  Ref object(com::WrapDispatch(&callee));
  Value count = I4(21), text = Str("Maß"), empty;
  Value result = object.Call(1, ByRef(count), I2(5), ByRef(text), R8(0.5), ByRef(empty));
  EXPECT_EQ(result, I4(5));
  EXPECT_THAT(callee.seen, ElementsAre(VT_BYREF | VT_I4, VT_I2, VT_BYREF | VT_BSTR, VT_R8,
                                       VT_BYREF | VT_VARIANT));
  EXPECT_EQ(count, I4(42));
  EXPECT_EQ(text, Str("Maß!"));
  EXPECT_EQ(empty, I2(7));
}

TEST_F(ComClient, OtherResultTypesAreCoercedOrRefused) {
  Callee callee;
  Ref object(com::WrapDispatch(&callee));
  EXPECT_EQ(object.Call(2, I4(VT_UI1)), I2(200));
  EXPECT_EQ(object.Call(2, I4(VT_R4)), R8(0.5));
  EXPECT_EQ(object.Call(2, I4(VT_UI4)), I4(200));
  EXPECT_EQ(ErrorOf([&] { object.Call(2, I4(VT_I8)); }).number(), kOverflow);
  EXPECT_EQ(ErrorOf([&] { object.Call(2, I4(VT_NULL)); }).number(), 94);
  EXPECT_EQ(ErrorOf([&] { object.Call(4); }).number(), kNoSuchMember);
}

TEST_F(ComClient, GetsAndUsedResultsGoAsMethodAndGetIgnoredOnesAsMethodPutsAsPut) {
  Callee callee;
  Ref object(com::WrapDispatch(&callee));
  object.Get(3);
  object.Call(3, I4(1));
  object.CallIgnoringResult(3, I4(1));
  object.Put(3, I4(1));
  constexpr WORD kMethodOrGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
  EXPECT_THAT(callee.flags,
              ElementsAre(kMethodOrGet, kMethodOrGet, DISPATCH_METHOD, DISPATCH_PROPERTYPUT));
  EXPECT_THAT(callee.askedForResult, ElementsAre(true, true, false, false));
}

TEST_F(ComClient, AnotherServersObjectIsForeignToTheHost) {
  Callee callee;
  Connection c(*automation);
  EXPECT_EQ(ErrorOf([&] { c.cmds.Call(5, Obj(com::WrapDispatch(&callee))); }).number(),
            kTypeMismatch);
  EXPECT_EQ(sim.Trace().back(), "CMDS call 5 Obj:Foreign");
}

// Each reference the client takes is given back: once the run's objects go,
// the server holds none, so it may unload (and a new host starts afresh).
TEST_F(ComClient, NoReferenceOutlivesTheClientsObjects) {
  {
    testing::SimSession::Set("QUORVEX_SIM_HAND_BACK_POINT_DATA", "1");
    Connection c(*automation);
    Value carrier;
    c.NewPointWithSlot(carrier);
    c.cmds.Call(5, Obj(c.cmd.ptr()));
    Value text = Str("Kopf");
    AsObject(c.cmd.Get(53)).Call(6, I4(1), ByRef(text));
  }
  HMODULE server = GetModuleHandleW(L"quorvex_sim.dll");
  ASSERT_NE(server, nullptr);
  auto canUnload = reinterpret_cast<HRESULT(WINAPI*)()>(
      reinterpret_cast<void*>(GetProcAddress(server, "DllCanUnloadNow")));
  ASSERT_NE(canUnload, nullptr);
  EXPECT_EQ(canUnload(), S_OK);
}

}  // namespace
}  // namespace traskel
