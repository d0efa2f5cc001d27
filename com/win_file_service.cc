// The default XML file service of the Windows build.
//
// Loads read the whole file (regular files on disk only, at most 256 MiB)
// and parse it strictly: no network, no external entities or DTDs loaded,
// no entity substitution, no recovery; the first error gives the parse
// error. Saves write the saved form (framework/xml_serialiser) into a new
// temporary file in the target's folder, whole or while the document is
// built (BeginSave), flush it to disk and move it over the target in one
// step; on any failure the temporary file is deleted and the target is
// untouched.
// Paths are UTF-8 and go to the wide-character file API.

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <windows.h>

#include <climits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

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

// One save: from construction, which raises the save's error, a new
// temporary file beside the target; Commit flushes it to disk and moves it
// over the target in one step. Destroyed before that, it deletes the
// temporary file.
class WindowsSave final : public XmlSaveStream {
 public:
  explicit WindowsSave(const std::string& path)
      : path_(path), target_(com::Widen(path)) {
    const DWORD attributes = GetFileAttributesW(target_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      throw SaveError(path_, "non è un file regolare ma una cartella");
    }
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
      wchar_t suffix[32];
      swprintf(suffix, 32, L".%06lx.tmp",
               static_cast<unsigned long>((GetTickCount() ^
                                           (GetCurrentProcessId() << 8) ^
                                           (attempt * 2654435761u)) &
                                          0xFFFFFF));
      std::wstring temp = target_ + suffix;
      file_ = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file_ != INVALID_HANDLE_VALUE) {
        temp_ = std::move(temp);
        break;
      }
      if (GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (file_ == INVALID_HANDLE_VALUE) {
      throw SaveError(path_, SystemMessage(GetLastError()));
    }
  }
  ~WindowsSave() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    if (!committed_ && !temp_.empty()) DeleteFileW(temp_.c_str());
  }
  WindowsSave(const WindowsSave&) = delete;
  WindowsSave& operator=(const WindowsSave&) = delete;

  bool Write(std::string_view bytes) override {
    if (failed_) return false;
    DWORD done = 0;
    if (!WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &done,
                   nullptr) ||
        done != bytes.size()) {
      failed_ = true;
      failure_ = GetLastError();
      return false;
    }
    return true;
  }

  void Commit() override {
    bool ok = !failed_ && FlushFileBuffers(file_);
    if (!failed_ && !ok) failure_ = GetLastError();
    const bool closed = CloseHandle(file_) != 0;
    file_ = INVALID_HANDLE_VALUE;
    if (!closed && ok) {
      ok = false;
      failure_ = GetLastError();
    }
    if (ok &&
        !MoveFileExW(temp_.c_str(), target_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      ok = false;
      failure_ = GetLastError();
    }
    if (!ok) throw SaveError(path_, SystemMessage(failure_));
    committed_ = true;
  }

 private:
  std::string path_;
  std::wstring target_;
  std::wstring temp_;  // "" until the temporary file is created
  HANDLE file_ = INVALID_HANDLE_VALUE;
  bool failed_ = false;
  DWORD failure_ = 0;
  bool committed_ = false;
};

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
    WindowsSave save(path);
    SerialiseXml(*tree,
                 [&save](std::string_view piece) { return save.Write(piece); });
    save.Commit();
  }

  std::unique_ptr<XmlSaveStream> BeginSave(const std::string& path) override {
    return std::make_unique<WindowsSave>(path);
  }
};

}  // namespace

std::unique_ptr<XmlFileService> NewDefaultXmlFileService() {
  return std::make_unique<WindowsXmlFileService>();
}

}  // namespace zsepa::framework
