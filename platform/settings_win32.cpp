// The settings store of Windows: registry values read and written through a
// "WScript.Shell" object, late-bound by member name, one object per access.
// The shell can't list a key's values; the registry's own calls do, and
// remove one.
#include <windows.h>
// After windows.h, which they need.
#include <oaidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/com_win32.h"
#include "platform/settings.h"
#include "platform/wide_text_win32.h"

namespace traskel {
namespace {

using Microsoft::WRL::ComPtr;

// String arguments, owned here and passed by reference as the shell's
// methods are declared.
class StringArgs {
 public:
  explicit StringArgs(std::initializer_list<std::string> values) {
    for (const std::string& v : values) {
      const std::wstring wide = Utf16(v);
      strings_.push_back(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
    }
    // The callee reads the last argument first.
    for (auto it = strings_.rbegin(); it != strings_.rend(); ++it) {
      VARIANTARG arg;
      VariantInit(&arg);
      V_VT(&arg) = VT_BYREF | VT_BSTR;
      V_BSTRREF(&arg) = &*it;
      args_.push_back(arg);
    }
  }
  ~StringArgs() {
    for (BSTR s : strings_) SysFreeString(s);
  }
  StringArgs(const StringArgs&) = delete;
  StringArgs& operator=(const StringArgs&) = delete;

  // The last one by value instead; see Write.
  void PassLastByValue() {
    V_VT(&args_.front()) = VT_BSTR;
    V_BSTR(&args_.front()) = strings_.back();
  }
  DISPPARAMS params() { return {args_.data(), nullptr, static_cast<UINT>(args_.size()), 0}; }

 private:
  std::vector<BSTR> strings_;
  std::vector<VARIANTARG> args_;
};

// A new "WScript.Shell" object, or the system's failure to make one.
HRESULT CreateShell(ComPtr<IDispatch>& shell) {
  CLSID clsid;
  const HRESULT hr = CLSIDFromProgID(L"WScript.Shell", &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_PPV_ARGS(&shell));
}

// A method call by name; the HRESULT, with the server's own code of a raised
// error in place of DISP_E_EXCEPTION.
HRESULT CallByName(IDispatch* object, const wchar_t* name, StringArgs& args, VARIANT* result) {
  std::wstring member = name;
  LPOLESTR names[] = {member.data()};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  DISPPARAMS params = args.params();
  ExcepInfo exception;
  UINT argError = 0;
  hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                      &exception.info, &argError);
  if (hr == DISP_E_EXCEPTION && FAILED(exception.Code())) return exception.info.scode;
  return hr;
}

// RegRead gives text for string values and a number for DWORD ones.
std::string AsText(const VARIANT& v) {
  if (V_VT(&v) == VT_I2) return std::to_string(V_I2(&v));
  if (V_VT(&v) == VT_I4) return std::to_string(V_I4(&v));
  if (V_VT(&v) != VT_BSTR || V_BSTR(&v) == nullptr) return "";
  return Utf8(std::wstring_view(V_BSTR(&v), SysStringLen(V_BSTR(&v))));
}

constexpr const char* kStringKind = "REG_SZ";

// The value the shell reads for a value that is not there, or in a key that
// is not there.
constexpr HRESULT kNotThere = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

// The hive a value path starts with, in either spelling, and the rest after
// its backslash; no hive for a path that names none.
HKEY SplitHive(const std::string& path, std::wstring& rest) {
  static const struct {
    const char* shortName;
    const char* longName;
    HKEY hive;
  } kHives[] = {{"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                {"HKU", "HKEY_USERS", HKEY_USERS},
                {"HKCC", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}};
  const std::size_t slash = path.find('\\');
  const std::string root = path.substr(0, slash);
  for (const auto& h : kHives) {
    if (lstrcmpiA(root.c_str(), h.shortName) == 0 || lstrcmpiA(root.c_str(), h.longName) == 0) {
      rest = slash == std::string::npos ? L"" : Utf16(path.substr(slash + 1));
      return h.hive;
    }
  }
  return nullptr;
}

// A key's values, as the shell reads them: texts as they are, numbers as
// digits, other kinds as no text.
Result<std::vector<std::pair<std::string, std::string>>> ListKey(const std::string& key) {
  std::wstring subkey;
  const HKEY hive = SplitHive(key, subkey);
  if (hive == nullptr) return SystemFailure(ERROR_BAD_PATHNAME);
  HKEY opened;
  LSTATUS status = RegOpenKeyExW(hive, subkey.c_str(), 0, KEY_QUERY_VALUE, &opened);
  if (status == ERROR_FILE_NOT_FOUND) return std::vector<std::pair<std::string, std::string>>();
  if (status != ERROR_SUCCESS) return SystemFailure(status);
  DWORD count = 0, longestName = 0, longestData = 0;
  status = RegQueryInfoKeyW(opened, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                            &longestName, &longestData, nullptr, nullptr);
  std::vector<std::pair<std::string, std::string>> values;
  std::wstring name(longestName + 1, L'\0');
  std::vector<BYTE> data(longestData + sizeof(wchar_t));
  for (DWORD i = 0; status == ERROR_SUCCESS && i < count; ++i) {
    DWORD nameSize = static_cast<DWORD>(name.size()), dataSize = longestData, type = 0;
    status =
        RegEnumValueW(opened, i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
    // Changed meanwhile (ERROR_NO_MORE_ITEMS, ERROR_MORE_DATA): what is
    // there now is read.
    if (status != ERROR_SUCCESS) break;
    std::string text;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      std::wstring_view wide(reinterpret_cast<const wchar_t*>(data.data()),
                             dataSize / sizeof(wchar_t));
      if (!wide.empty() && wide.back() == L'\0') wide.remove_suffix(1);
      text = Utf8(wide);
    } else if (type == REG_DWORD && dataSize == sizeof(DWORD)) {
      DWORD number;
      std::memcpy(&number, data.data(), sizeof number);
      text = std::to_string(static_cast<std::int32_t>(number));
    }
    values.emplace_back(Utf8(std::wstring_view(name.data(), nameSize)), std::move(text));
  }
  RegCloseKey(opened);
  if (status != ERROR_SUCCESS && status != ERROR_NO_MORE_ITEMS && status != ERROR_MORE_DATA) {
    return SystemFailure(status);
  }
  return values;
}

class ShellSettingsStore : public SettingsStore {
 public:
  Result<std::string> Read(const std::string& path) override {
    return Caught([&]() -> Result<std::string> {
      ComApartment apartment;
      ComPtr<IDispatch> shell;
      if (HRESULT hr = CreateShell(shell); FAILED(hr)) return SystemFailure(hr);
      StringArgs args{path};
      VARIANT result;
      VariantInit(&result);
      const HRESULT hr = CallByName(shell.Get(), L"RegRead", args, &result);
      std::string text = SUCCEEDED(hr) ? AsText(result) : "";
      VariantClear(&result);
      if (FAILED(hr) && hr != kNotThere) return SystemFailure(hr);
      return text;
    });
  }

  Result<void> Write(const std::string& path, const std::string& value) override {
    return Caught([&]() -> Result<void> {
      ComApartment apartment;
      ComPtr<IDispatch> shell;
      HRESULT hr = CreateShell(shell);
      if (FAILED(hr)) return SystemFailure(hr);
      StringArgs args{path, value, kStringKind};
      hr = CallByName(shell.Get(), L"RegWrite", args, nullptr);
      if (hr == E_INVALIDARG) {
        // Wine's shell object refuses a kind passed by reference, before it
        // touches the registry; it takes one passed by value.
        args.PassLastByValue();
        hr = CallByName(shell.Get(), L"RegWrite", args, nullptr);
      }
      // Typically no administrator rights for the per-machine hive.
      if (FAILED(hr)) return SystemFailure(hr);
      return {};
    });
  }

  Result<std::vector<std::pair<std::string, std::string>>> List(const std::string& key) override {
    return Caught([&] { return ListKey(key); });
  }

  // Wine's shell object has no RegDelete: the registry's own call removes it.
  Result<void> Remove(const std::string& path) override {
    return Caught([&]() -> Result<void> {
      std::wstring rest;
      const HKEY hive = SplitHive(path, rest);
      const std::size_t slash = rest.rfind(L'\\');
      if (hive == nullptr || slash == std::wstring::npos) return SystemFailure(ERROR_BAD_PATHNAME);
      const LSTATUS status =
          RegDeleteKeyValueW(hive, rest.substr(0, slash).c_str(), rest.substr(slash + 1).c_str());
      if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return SystemFailure(status);
      return {};
    });
  }
};

}  // namespace

std::unique_ptr<SettingsStore> MakeSystemSettingsStore(FileSystem&) {
  return std::make_unique<ShellSettingsStore>();
}

}  // namespace traskel
