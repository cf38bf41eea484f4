// The settings store of Windows: registry values read and written through a
// "WScript.Shell" object, late-bound by member name, one object per access.
#include "app/settings.h"
#include "host/com_client_win32.h"
#include "host/com_win32.h"

namespace traskel {
namespace {

using host::ByRef;
using host::Ref;
using host::Str;
using host::Value;

// RegRead gives text for string values and a number for DWORD ones.
std::string AsText(const Value& v) {
  switch (v.type()) {
    case host::Type::Str:
      return v.str();
    case host::Type::I2:
      return std::to_string(v.i2());
    case host::Type::I4:
      return std::to_string(v.i4());
    default:
      return "";
  }
}

class ShellSettingsStore : public SettingsStore {
 public:
  std::string ReadSetting(const std::string& path) override {
    try {
      host::com::Apartment apartment;
      const Ref shell(host::com::CreateComObject("WScript.Shell"));
      Value pathArg = Str(path);
      return AsText(shell.Call(host::com::DispIdOfName(shell.ptr(), "RegRead"), ByRef(pathArg)));
    } catch (...) {
      // A missing value, a missing key, no access and no shell all read
      // as nothing remembered.
      return "";
    }
  }

  bool WriteSetting(const std::string& path, const std::string& value,
                    const std::string& kind) override {
    try {
      host::com::Apartment apartment;
      const Ref shell(host::com::CreateComObject("WScript.Shell"));
      const host::DispId regWrite = host::com::DispIdOfName(shell.ptr(), "RegWrite");
      Value pathArg = Str(path), valueArg = Str(value), kindArg = Str(kind);
      try {
        shell.CallIgnoringResult(regWrite, ByRef(pathArg), ByRef(valueArg), ByRef(kindArg));
      } catch (const host::Error& e) {
        // Wine's shell object refuses a kind passed by reference, before it
        // touches the registry; it takes one passed by value.
        if (e.number() != static_cast<int>(E_INVALIDARG)) throw;
        shell.CallIgnoringResult(regWrite, ByRef(pathArg), ByRef(valueArg), Str(kind));
      }
      return true;
    } catch (...) {
      // Typically no administrator rights for the per-machine hive.
      return false;
    }
  }
};

}  // namespace

std::unique_ptr<SettingsStore> MakeSettingsStore() {
  return std::make_unique<ShellSettingsStore>();
}

}  // namespace traskel
