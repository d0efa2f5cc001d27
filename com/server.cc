// The entry points of the in-process server: class objects, lifetime and
// registration (classes under HKEY_CLASSES_ROOT with the STA threading
// model, ProgIDs ZALT_FILESEPA.<class>, the type library).

#include <objbase.h>
#include <olectl.h>
#include <windows.h>

#include <string>

#include "com/com_support.h"
#include "com/objects.h"

namespace zsepa::com {
namespace {

// One creatable class: its name (the ProgID is "ZALT_FILESEPA." + name),
// its CLSID and how to make one.
struct ClassEntry {
  const wchar_t* name;
  const CLSID* clsid;
  IDispatch* (*create)();
};

const ClassEntry kClasses[] = {
    {L"CLSEP_FILESEPA", &CLSID_CLSEP_FILESEPA, &NewFileSepa},
    {L"CLSEP_INFOPAG", &CLSID_CLSEP_INFOPAG, &NewInfoPag},
    {L"CLSEP_TRANSFCREDIT", &CLSID_CLSEP_TRANSFCREDIT, &NewTransfCredit},
    {L"CLSEP_RIFSCA", &CLSID_CLSEP_RIFSCA, &NewRifSca},
    {L"CLSEP_OUTPUTSEPA", &CLSID_CLSEP_OUTPUTSEPA, &NewOutputSepa},
    {L"CLSEP_STATUSSCA", &CLSID_CLSEP_STATUSSCA, &NewStatusSca},
};

// The class object of one class. Class objects are static: they count no
// references of their own, only LockServer, so that a reference that the
// system keeps to a class object never pins the DLL.
class Factory final : public IClassFactory {
 public:
  explicit Factory(const ClassEntry& entry) : entry_(entry) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid,
                              void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    IDispatch* object = nullptr;
    try {
      object = entry_.create();
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) {
      ++g_locks;
    } else {
      --g_locks;
    }
    return S_OK;
  }

 private:
  const ClassEntry& entry_;
};

Factory g_factories[] = {Factory(kClasses[0]), Factory(kClasses[1]),
                         Factory(kClasses[2]), Factory(kClasses[3]),
                         Factory(kClasses[4]), Factory(kClasses[5])};
static_assert(std::size(g_factories) == std::size(kClasses));

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

// Writes `value` as the default (or `name`d) value of key `path` under
// HKEY_CLASSES_ROOT.
LONG SetKey(const std::wstring& path, const wchar_t* name,
            const std::wstring& value) {
  HKEY key = nullptr;
  LONG result = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0,
                                KEY_WRITE, nullptr, &key, nullptr);
  if (result != ERROR_SUCCESS) return result;
  result = RegSetValueExW(
      key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return result;
}

void DeleteTree(const std::wstring& path) {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
}

std::wstring ModulePath() {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(path, length) : L"";
}

HRESULT Unregister() {
  for (const ClassEntry& entry : kClasses) {
    const std::wstring prog_id = std::wstring(L"ZALT_FILESEPA.") + entry.name;
    DeleteTree(L"CLSID\\" + GuidText(*entry.clsid));
    DeleteTree(prog_id);
  }
  // A library that is not registered counts as unregistered: a second
  // unregistration succeeds.
  BSTR path = nullptr;
  if (QueryPathOfRegTypeLib(LIBID_ZALT_FILESEPA, 1, 0, 0, &path) == S_OK) {
    SysFreeString(path);
    TLIBATTR* attr = nullptr;
    ITypeLib* library = TypeLibrary();
    if (library != nullptr && SUCCEEDED(library->GetLibAttr(&attr))) {
      UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum,
                        attr->lcid, attr->syskind);
      library->ReleaseTLibAttr(attr);
    }
  }
  return S_OK;
}

}  // namespace
}  // namespace zsepa::com

using namespace zsepa::com;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  for (size_t i = 0; i < std::size(kClasses); ++i) {
    if (clsid == *kClasses[i].clsid) {
      return g_factories[i].QueryInterface(iid, out);
    }
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() {
  return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
  const std::wstring module = ModulePath();
  ITypeLib* library = TypeLibrary();
  if (module.empty() || library == nullptr) return SELFREG_E_TYPELIB;
  std::wstring module_copy = module;
  if (FAILED(RegisterTypeLib(library, module_copy.data(), nullptr))) {
    return SELFREG_E_TYPELIB;
  }
  const std::wstring lib_id = GuidText(LIBID_ZALT_FILESEPA);
  for (const ClassEntry& entry : kClasses) {
    const std::wstring clsid = L"CLSID\\" + GuidText(*entry.clsid);
    const std::wstring prog_id = std::wstring(L"ZALT_FILESEPA.") + entry.name;
    const bool ok =
        SetKey(clsid, nullptr, entry.name) == ERROR_SUCCESS &&
        SetKey(clsid + L"\\InprocServer32", nullptr, module) == ERROR_SUCCESS &&
        SetKey(clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment") ==
            ERROR_SUCCESS &&
        SetKey(clsid + L"\\ProgID", nullptr, prog_id) == ERROR_SUCCESS &&
        SetKey(clsid + L"\\TypeLib", nullptr, lib_id) == ERROR_SUCCESS &&
        SetKey(clsid + L"\\VERSION", nullptr, L"1.0") == ERROR_SUCCESS &&
        SetKey(prog_id, nullptr, entry.name) == ERROR_SUCCESS &&
        SetKey(prog_id + L"\\CLSID", nullptr, GuidText(*entry.clsid)) ==
            ERROR_SUCCESS;
    if (!ok) {
      Unregister();
      return SELFREG_E_CLASS;
    }
  }
  return S_OK;
}

STDAPI DllUnregisterServer() { return Unregister(); }
