// Writes the contract of the ZALT_FILESEPA type library as text: every
// enumeration with its members and values in declaration order, every
// interface with each member's vtable slot, dispatch identifier, invoke kind,
// name and parameters (flags, type, name), and every class with its default
// interface. The test script compares the text with com/testdata/contract.txt.
//
// Usage: contract_dump OUT.txt            the registered library (LIBID 1.0)
//        contract_dump OUT.txt FILE       the library embedded in FILE
#include <oaidl.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "wide_text.h"

namespace {

// {5A74E89C-ACCA-4BC0-8EF5-BA8343888DEC}
constexpr GUID kLibId = {0x5a74e89c,
                         0xacca,
                         0x4bc0,
                         {0x8e, 0xf5, 0xba, 0x83, 0x43, 0x88, 0x8d, 0xec}};

std::string NameOf(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
  BSTR name = nullptr;
  if (FAILED(info->GetDocumentation(id, &name, nullptr, nullptr, nullptr))) {
    return "?";
  }
  std::string out = Narrow(name);
  SysFreeString(name);
  return out;
}

std::string TypeName(ITypeInfo* info, const TYPEDESC& type) {
  switch (type.vt) {
    case VT_PTR:
      return TypeName(info, *type.lptdesc) + "*";
    case VT_USERDEFINED: {
      ITypeInfo* ref = nullptr;
      if (FAILED(info->GetRefTypeInfo(type.hreftype, &ref))) return "?";
      std::string name = NameOf(ref);
      ref->Release();
      return name;
    }
    case VT_I2:
      return "short";
    case VT_I4:
      return "long";
    case VT_R8:
      return "double";
    case VT_BSTR:
      return "BSTR";
    case VT_BOOL:
      return "VARIANT_BOOL";
    case VT_VARIANT:
      return "VARIANT";
    case VT_DATE:
      return "DATE";
    case VT_DISPATCH:
      return "IDispatch*";
    case VT_UNKNOWN:
      return "IUnknown*";
    case VT_HRESULT:
      return "HRESULT";
    case VT_VOID:
      return "void";
    default:
      return "vt" + std::to_string(type.vt);
  }
}

const char* KindName(INVOKEKIND kind) {
  switch (kind) {
    case INVOKE_FUNC:
      return "method";
    case INVOKE_PROPERTYGET:
      return "propget";
    case INVOKE_PROPERTYPUT:
      return "propput";
    case INVOKE_PROPERTYPUTREF:
      return "propputref";
  }
  return "?";
}

std::string ParamFlags(USHORT flags) {
  std::string out;
  auto add = [&out](const char* flag) {
    if (!out.empty()) out += ",";
    out += flag;
  };
  if (flags & PARAMFLAG_FIN) add("in");
  if (flags & PARAMFLAG_FOUT) add("out");
  if (flags & PARAMFLAG_FRETVAL) add("retval");
  if (flags & PARAMFLAG_FOPT) add("optional");
  return out;
}

void Printf(std::string& out, const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  out += buffer;
}

// The members of the vtable side of an interface, in slot order.
void DumpInterface(std::string& out, ITypeInfo* info, const char* label) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return;
  Printf(out, "%s %s%s\n", label, NameOf(info).c_str(),
         (attr->wTypeFlags & TYPEFLAG_FDUAL) ? " dual" : "");
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* func = nullptr;
    if (FAILED(info->GetFuncDesc(i, &func))) continue;
    BSTR names[32] = {};
    UINT count = 0;
    info->GetNames(func->memid, names, 32, &count);
    std::string line;
    Printf(line, "  %d 0x%08lx %s %s(",
           static_cast<int>(func->oVft / static_cast<int>(sizeof(void*))),
           static_cast<unsigned long>(func->memid), KindName(func->invkind),
           Narrow(names[0]).c_str());
    for (SHORT p = 0; p < func->cParams; ++p) {
      const ELEMDESC& param = func->lprgelemdescParam[p];
      if (p > 0) line += ", ";
      Printf(line, "[%s] %s", ParamFlags(param.paramdesc.wParamFlags).c_str(),
             TypeName(info, param.tdesc).c_str());
      // Names are looked up by member id, which the accessors of one
      // property share: only methods and the arguments of a read (an index)
      // have names of their own.
      const bool named = func->invkind == INVOKE_FUNC ||
                         (func->invkind == INVOKE_PROPERTYGET &&
                          !(param.paramdesc.wParamFlags & PARAMFLAG_FRETVAL));
      if (named && static_cast<UINT>(p) + 1 < count) {
        line += ' ';
        line += Narrow(names[p + 1]);
      }
    }
    line += ")";
    if (func->wFuncFlags & FUNCFLAG_FRESTRICTED) line += " restricted";
    out += line + "\n";
    for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
    info->ReleaseFuncDesc(func);
  }
  info->ReleaseTypeAttr(attr);
}

void DumpEnum(std::string& out, ITypeInfo* info) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return;
  Printf(out, "enum %s\n", NameOf(info).c_str());
  for (UINT i = 0; i < attr->cVars; ++i) {
    VARDESC* var = nullptr;
    if (FAILED(info->GetVarDesc(i, &var))) continue;
    Printf(out, "  %s = %ld\n", NameOf(info, var->memid).c_str(),
           static_cast<long>(V_I4(var->lpvarValue)));
    info->ReleaseVarDesc(var);
  }
  info->ReleaseTypeAttr(attr);
}

void DumpClass(std::string& out, ITypeInfo* info) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return;
  Printf(out, "coclass %s%s\n", NameOf(info).c_str(),
         (attr->wTypeFlags & TYPEFLAG_FCANCREATE) ? " creatable" : "");
  for (UINT i = 0; i < attr->cImplTypes; ++i) {
    HREFTYPE ref = 0;
    INT flags = 0;
    ITypeInfo* impl = nullptr;
    if (SUCCEEDED(info->GetRefTypeOfImplType(i, &ref)) &&
        SUCCEEDED(info->GetImplTypeFlags(i, &flags)) &&
        SUCCEEDED(info->GetRefTypeInfo(ref, &impl))) {
      Printf(out, "  %s%s\n", NameOf(impl).c_str(),
             (flags & IMPLTYPEFLAG_FDEFAULT) ? " default" : "");
      impl->Release();
    }
  }
  info->ReleaseTypeAttr(attr);
}

std::string Dump(ITypeLib* lib) {
  std::string out;
  TLIBATTR* lib_attr = nullptr;
  BSTR name = nullptr;
  lib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr);
  lib->GetLibAttr(&lib_attr);
  Printf(out, "library %s %d.%d\n", Narrow(name).c_str(),
         lib_attr->wMajorVerNum, lib_attr->wMinorVerNum);
  SysFreeString(name);
  lib->ReleaseTLibAttr(lib_attr);
  const UINT count = lib->GetTypeInfoCount();
  for (UINT i = 0; i < count; ++i) {
    ITypeInfo* info = nullptr;
    if (FAILED(lib->GetTypeInfo(i, &info))) continue;
    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    const TYPEKIND kind = attr->typekind;
    info->ReleaseTypeAttr(attr);
    if (kind == TKIND_ENUM) {
      DumpEnum(out, info);
    } else if (kind == TKIND_COCLASS) {
      DumpClass(out, info);
    } else if (kind == TKIND_DISPATCH) {
      // A dual interface: its vtable side holds the slots.
      HREFTYPE ref = 0;
      ITypeInfo* vtable = nullptr;
      if (SUCCEEDED(info->GetRefTypeOfImplType(-1, &ref)) &&
          SUCCEEDED(info->GetRefTypeInfo(ref, &vtable))) {
        DumpInterface(out, vtable, "interface");
        vtable->Release();
      } else {
        DumpInterface(out, info, "dispinterface");
      }
    } else if (kind == TKIND_INTERFACE) {
      DumpInterface(out, info, "interface");
    } else {
      Printf(out, "type %s kind %d\n", NameOf(info).c_str(),
             static_cast<int>(kind));
    }
    info->Release();
  }
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: contract_dump OUT.txt [FILE]\n");
    return 2;
  }
  OleInitialize(nullptr);
  ITypeLib* lib = nullptr;
  const HRESULT hr = argc > 2 ? LoadTypeLibEx(argv[2], REGKIND_NONE, &lib)
                              : LoadRegTypeLib(kLibId, 1, 0, 0, &lib);
  if (FAILED(hr)) {
    std::fprintf(stderr, "contract_dump: cannot load the library: 0x%08lx\n",
                 static_cast<unsigned long>(hr));
    return 1;
  }
  const std::string text = Dump(lib);
  lib->Release();
  FILE* out = _wfopen(argv[1], L"wb");
  if (out == nullptr) return 1;
  std::fwrite(text.data(), 1, text.size(), out);
  std::fclose(out);
  OleUninitialize();
  return 0;
}
