// The default XML file service of the Windows build.
//
// Loads read the whole file (regular files on disk only, at most 256 MiB)
// and parse it strictly: no network, no external entities or DTDs loaded,
// no entity substitution, no recovery; the first error gives the parse
// error. Saves write the saved form (framework/xml_serialiser) into a new
// temporary file in the target's folder, flush it to disk and move it over
// the target in one step; on any failure the temporary file is deleted and
// the target is untouched.
// Paths are UTF-8 and go to the wide-character file API.

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <windows.h>

#include <climits>
#include <memory>
#include <string>
#include <string_view>

#include "com/com_support.h"
#include "framework/strict_parse.h"
#include "framework/xml_document.h"
#include "framework/xml_serialiser.h"
#include "zsepa/error.h"
#include "zsepa/xml_file_service.h"

namespace zsepa::framework {
namespace {

constexpr size_t kMaxLoadBytes = 256u << 20;

std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = com::Narrow(text, length);
  LocalFree(text);
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' ||
          message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  if (message.empty()) message = "errore " + std::to_string(error);
  return message;
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (valid()) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  bool Close() {
    const bool ok = CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE handle_;
};

// Reads the whole of `path`; on failure fills `error`.
bool ReadFileBytes(const std::string& path, std::string& bytes,
                   ParseError& error) {
  const std::wstring wide = com::Widen(path);
  Handle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string why;
  DWORD high = 0;
  DWORD low = INVALID_FILE_SIZE;
  if (file.valid() && GetFileType(file.get()) == FILE_TYPE_DISK) {
    SetLastError(NO_ERROR);
    low = GetFileSize(file.get(), &high);
  }
  const unsigned long long size =
      (static_cast<unsigned long long>(high) << 32) | low;
  if (!file.valid()) {
    why = SystemMessage(GetLastError());
  } else if (GetFileType(file.get()) != FILE_TYPE_DISK) {
    why = "non è un file regolare";
  } else if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
    why = SystemMessage(GetLastError());
  } else if (size > kMaxLoadBytes) {
    error.errorCode = codes::kLoadFileTooLarge;
    error.reason = "Il file '" + path + "' supera la dimensione massima di " +
                   std::to_string(kMaxLoadBytes) + " byte";
    return false;
  } else {
    bytes.resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < bytes.size()) {
      DWORD read = 0;
      if (!ReadFile(file.get(), bytes.data() + done,
                    static_cast<DWORD>(bytes.size() - done), &read, nullptr)) {
        why = SystemMessage(GetLastError());
        break;
      }
      if (read == 0) break;
      done += read;
    }
    bytes.resize(done);
    if (why.empty()) return true;
  }
  error.errorCode = codes::kLoadFileUnreadable;
  error.reason = "Impossibile leggere il file '" + path + "': " + why;
  return false;
}

Error SaveError(const std::string& path, const std::string& why) {
  return Error(codes::kSaveFailed, "ServizioFileXml.Save",
               "Impossibile salvare il file '" + path + "': " + why);
}

class WindowsXmlFileService final : public XmlFileService {
 public:
  void Load(XmlDocument& doc, const std::string& path) override {
    ResetTree(doc);
    ParseError& error = doc.parseError();
    try {
      error = ParseError{};
      error.url = path;
      std::string bytes;
      if (!ReadFileBytes(path, bytes, error)) return;
      framework::ParseStrictly(bytes, path, doc);
    } catch (...) {
      ResetTree(doc);
      error.errorCode = XML_ERR_NO_MEMORY;
      error.reason = "Memoria insufficiente";
    }
  }

  void Save(const XmlDocument& doc, const std::string& path) override {
    const xmlDoc* tree = TreeOf(doc);
    if (tree == nullptr) throw SaveError(path, "documento vuoto");
    const std::wstring target = com::Widen(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      throw SaveError(path, "non è un file regolare ma una cartella");
    }
    std::wstring temp;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
      wchar_t suffix[32];
      swprintf(suffix, 32, L".%06lx.tmp",
               static_cast<unsigned long>((GetTickCount() ^
                                           (GetCurrentProcessId() << 8) ^
                                           (attempt * 2654435761u)) &
                                          0xFFFFFF));
      temp = target + suffix;
      created = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
      if (created != INVALID_HANDLE_VALUE ||
          GetLastError() != ERROR_FILE_EXISTS) {
        break;
      }
    }
    Handle file(created);
    if (!file.valid()) throw SaveError(path, SystemMessage(GetLastError()));
    DWORD failure = 0;
    const bool written = SerialiseXml(*tree, [&](std::string_view piece) {
      DWORD done = 0;
      if (!WriteFile(file.get(), piece.data(), static_cast<DWORD>(piece.size()),
                     &done, nullptr) ||
          done != piece.size()) {
        failure = GetLastError();
        return false;
      }
      return true;
    });
    bool ok = written && FlushFileBuffers(file.get());
    if (written && !ok) failure = GetLastError();
    if (!file.Close() && ok) {
      ok = false;
      failure = GetLastError();
    }
    if (ok &&
        !MoveFileExW(temp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      ok = false;
      failure = GetLastError();
    }
    if (!ok) {
      DeleteFileW(temp.c_str());
      throw SaveError(path, SystemMessage(failure));
    }
  }
};

}  // namespace

std::unique_ptr<XmlFileService> NewDefaultXmlFileService() {
  return std::make_unique<WindowsXmlFileService>();
}

}  // namespace zsepa::framework
