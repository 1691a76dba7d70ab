#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <chrono>
#include <thread>
#include <utility>

#include "platform/file_system.h"
#include "platform/win/wide_text.h"

// The cache's file system on Windows: UTF-8 paths become UTF-16 for the wide calls (never the
// code-page calls), and every file is opened sharing reads, writes and deletion, so a file being
// served never stops its replacement.
namespace gameshell {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A path one of whose components below the cache root is a reparse point (a symbolic link, a
// junction) that whoever can write into the root planted: nothing is read or written through it.
bool CrossesReparsePoint(const std::wstring& path) {
  for (size_t end = path.find_first_of(L"\\/");; end = path.find_first_of(L"\\/", end + 1)) {
    const std::wstring prefix = path.substr(0, end);
    if (!prefix.empty() && prefix.back() != L':') {
      const DWORD attributes = ::GetFileAttributesW(prefix.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return true;
      }
    }
    if (end == std::wstring::npos) {
      return false;
    }
  }
}

// The wide path for the system's calls; an empty one, which every call refuses, for a path
// through a reparse point.
std::wstring Wide(const std::string& path) {
  std::wstring wide = platform::Utf8ToWide(path);
  return CrossesReparsePoint(wide) ? std::wstring() : wide;
}

bool WriteAll(HANDLE file, std::string_view data) {
  while (!data.empty()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size(), 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, data.data(), chunk, &written, nullptr) || written == 0) {
      return false;
    }
    data.remove_prefix(written);
  }
  return true;
}

class WinWritableFile : public WritableFile {
 public:
  explicit WinWritableFile(HANDLE file) : file_(file) {}
  ~WinWritableFile() override { Close(); }
  bool Append(std::string_view data) override {
    ok_ = ok_ && file_ != INVALID_HANDLE_VALUE && WriteAll(file_, data);
    return ok_;
  }
  bool Close() override {
    if (file_ != INVALID_HANDLE_VALUE) {
      ok_ = ::CloseHandle(file_) && ok_;
      file_ = INVALID_HANDLE_VALUE;
    }
    return ok_;
  }

 private:
  HANDLE file_;
  bool ok_ = true;
};

// Locks a byte far past any data: a marker that readers of the data never run into, released when
// the handle closes or its process dies.
bool LockMarker(HANDLE file) {
  OVERLAPPED at{};
  at.OffsetHigh = 0x7FFFFFFF;
  const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
  return ::LockFileEx(file, flags, 0, 1, 0, &at) != 0;
}

// The lock, waited for at most `wait_ms`: a holder that was suspended must not stop this shell's
// writes of the index, nor its close, with it.
bool LockMarkerWithin(HANDLE file, int wait_ms) {
  constexpr int kPollMs = 5;
  for (int waited = 0;; waited += kPollMs) {
    if (LockMarker(file)) {
      return true;
    }
    if (waited >= wait_ms) {
      return false;
    }
    ::Sleep(kPollMs);
  }
}

// Where the lock that appends to and rewrites of `path` take lives: a file beside it that is never
// replaced. (Locking the file itself, as on POSIX, cannot work here: a rewrite moves an open file
// aside before it renames the new one in, and a writer that came in between would make an empty
// file at the path, append to it, and lose its lines to the rename. A leading dot: never a game's
// path.)
std::wstring LockPathFor(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  const size_t name = slash == std::wstring::npos ? 0 : slash + 1;
  return path.substr(0, name) + L".gameshell-lock-" + path.substr(name);
}

// `path` (created if missing) opened under its lock, which is held until `lock` closes.
struct LockedFile {
  HANDLE lock = INVALID_HANDLE_VALUE;
  HANDLE file = INVALID_HANDLE_VALUE;

  LockedFile() = default;
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;
  ~LockedFile() {
    CloseFile();
    if (lock != INVALID_HANDLE_VALUE) {
      ::CloseHandle(lock);  // and with it the lock
    }
  }
  bool ok() const { return file != INVALID_HANDLE_VALUE; }
  void CloseFile() {
    if (file != INVALID_HANDLE_VALUE) {
      ::CloseHandle(file);
      file = INVALID_HANDLE_VALUE;
    }
  }
};

// Shells sharing a cache root take this lock around every append to and rewrite of the index.
// Not ok() on failure.
void OpenLocked(const std::wstring& path, LockedFile* locked) {
  locked->lock = ::CreateFileW(LockPathFor(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (locked->lock == INVALID_HANDLE_VALUE || !LockMarkerWithin(locked->lock, kIndexLockWaitMs)) {
    return;
  }
  locked->file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

class WinFileSystem : public FileSystem {
 public:
  std::optional<uint64_t> FileSize(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.empty() || !::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return std::nullopt;
    }
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }

  std::optional<FileStamp> Stamp(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.empty() || !::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return std::nullopt;
    }
    // 100-nanosecond ticks since 1601.
    const int64_t ticks =
        static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                             data.ftLastWriteTime.dwLowDateTime);
    FileStamp stamp{(static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                    (ticks - 116444736000000000LL) * 100};
    // The change time and the file index need a handle; without one they stay unknown.
    HANDLE file = ::CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      BY_HANDLE_FILE_INFORMATION info;
      if (::GetFileInformationByHandle(file, &info)) {
        stamp.file_id = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
      }
      FILE_BASIC_INFO basic;
      if (::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic))) {
        stamp.changed_ns = (basic.ChangeTime.QuadPart - 116444736000000000LL) * 100;
      }
      ::CloseHandle(file);
    }
    return stamp;
  }

  std::optional<uint64_t> FreeBytes() override {
    ULARGE_INTEGER available;
    if (!::GetDiskFreeSpaceExW(L".", &available, nullptr, nullptr)) {
      return std::nullopt;
    }
    return available.QuadPart;
  }

  bool CreateDirectory(const std::string& path) override {
    if (path.empty()) {
      return false;
    }
    const std::wstring wide = Wide(path);
    if (::CreateDirectoryW(wide.c_str(), nullptr)) {
      return true;
    }
    DWORD attributes = ::GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  int OpenForReading(const std::string& path) override {
    HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      return -1;
    }
    if (::GetFileType(file) != FILE_TYPE_DISK) {
      ::CloseHandle(file);
      return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
      ::CloseHandle(file);
    }
    return fd;
  }

  ReadOutcome ReadFileInPieces(const std::string& path,
                               size_t piece,
                               const std::function<bool(std::string_view)>& sink) override {
    HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                 ? ReadOutcome::kMissing
                 : ReadOutcome::kUnusable;
    }
    // Only a file on the disk: a pipe or a device under the name would hold the reader up.
    bool ok = ::GetFileType(file) == FILE_TYPE_DISK;
    std::string buffer(ok ? piece : 0, '\0');
    for (DWORD got = 0; ok;) {
      ok = ::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr);
      if (!ok || got == 0 || !sink(std::string_view(buffer.data(), got))) {
        break;
      }
    }
    ::CloseHandle(file);
    return ok ? ReadOutcome::kRead : ReadOutcome::kUnusable;
  }

  bool AppendFile(const std::string& path, std::string_view content) override {
    LockedFile locked;
    OpenLocked(Wide(path), &locked);
    if (!locked.ok()) {
      return false;
    }
    HANDLE file = std::exchange(locked.file, INVALID_HANDLE_VALUE);
    WinWritableFile writer(file);
    LARGE_INTEGER zero{};
    return ::SetFilePointerEx(file, zero, nullptr, FILE_END) && writer.Append(content) &&
           writer.Close();
  }

  bool AppendLocked(const std::string& path,
                    const std::function<std::string()>& make,
                    bool sync,
                    const std::function<void()>& then) override {
    LockedFile locked;
    OpenLocked(Wide(path), &locked);
    if (!locked.ok()) {
      return false;
    }
    HANDLE file = std::exchange(locked.file, INVALID_HANDLE_VALUE);
    WinWritableFile writer(file);
    const std::string content = make();
    LARGE_INTEGER zero{};
    const bool ok = (content.empty() || (::SetFilePointerEx(file, zero, nullptr, FILE_END) &&
                                         writer.Append(content))) &&
                    (!sync || ::FlushFileBuffers(file));
    if (ok && then) {
      then();  // the lock is let go with `locked`, after the file is closed
    }
    return writer.Close() && ok;
  }

  bool LockHeldElsewhere(const std::string& path) override {
    HANDLE file = ::CreateFileW(LockPathFor(Wide(path)).c_str(), GENERIC_READ, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      return false;
    }
    const bool held = !LockMarker(file);
    ::CloseHandle(file);  // and with it a lock it got
    return held;
  }

  bool ReplaceFileMerged(const std::string& path,
                         const std::function<void(std::string_view)>& take,
                         const std::function<std::string()>& make) override {
    LockedFile locked;
    OpenLocked(Wide(path), &locked);
    if (!locked.ok()) {
      return false;
    }
    char buffer[65536];
    bool ok = true;
    for (DWORD got = 0; ok;) {
      ok = ::ReadFile(locked.file, buffer, sizeof buffer, &got, nullptr);
      if (!ok || got == 0) {
        break;
      }
      take(std::string_view(buffer, got));
    }
    // Closed before the rename, which an open file would send through the moving aside; the
    // lock stays until the new file is in place.
    locked.CloseFile();
    return ok && WriteFileAtomically(*this, path, make());
  }

  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override {
    HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      return nullptr;
    }
    // The lock dies with the process, so a sweeper can tell a leftover from a file being written.
    LockMarker(file);
    return std::make_unique<WinWritableFile>(file);
  }

  bool RemoveUnlockedFile(const std::string& path) override {
    const std::wstring wide = Wide(path);
    HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      return false;
    }
    // Deleted once this handle closes; the lock keeps a new writer out meanwhile.
    const bool removed = LockMarker(file) && ::DeleteFileW(wide.c_str());
    ::CloseHandle(file);
    return removed;
  }

  bool IsDirectory(const std::string& path) override {
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  }

  bool Rename(const std::string& from, const std::string& to) override {
    const std::wstring wide_from = Wide(from);
    const std::wstring wide_to = Wide(to);
    constexpr DWORD kReplace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    for (int attempt = 0; attempt < 50; ++attempt) {
      if (::MoveFileExW(wide_from.c_str(), wide_to.c_str(), kReplace)) {
        return true;
      }
      DWORD error = ::GetLastError();
      DWORD target = ::GetFileAttributesW(wide_to.c_str());
      if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
          target == INVALID_FILE_ATTRIBUTES || (target & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
      }
      // A file being served (open, sharing deletion) cannot be replaced, but it can be moved
      // aside: its reader keeps the old bytes, and the aside name goes once the reader is done
      // (or is swept as a leftover).
      const std::wstring aside = Wide(NewTemporaryPath());
      if (::MoveFileExW(wide_to.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const bool moved = ::MoveFileExW(wide_from.c_str(), wide_to.c_str(), kReplace);
        if (!moved) {
          ::MoveFileExW(aside.c_str(), wide_to.c_str(), MOVEFILE_WRITE_THROUGH);
        }
        ::DeleteFileW(aside.c_str());
        if (moved) {
          return true;
        }
      }
      // A reader that did not share deletion (another program, a scanner) holds it for a moment.
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  bool SyncFiles(const std::vector<std::string>& paths) override {
    bool ok = true;
    for (const std::string& path : paths) {
      // Flushing needs a handle that may write.
      HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) {
        ok = ok && ::GetLastError() == ERROR_FILE_NOT_FOUND;  // gone since: nothing to keep
        continue;
      }
      ok = ::FlushFileBuffers(file) && ok;
      ::CloseHandle(file);
    }
    return ok;
  }

  bool RemoveFile(const std::string& path) override {
    return ::DeleteFileW(Wide(path).c_str()) != 0;
  }

  bool ListDirectory(const std::string& path, std::vector<std::string>* names) override {
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW(Wide(path.empty() ? "*" : path + "/*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
      return false;
    }
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") {
        continue;
      }
      int size = ::WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()),
                                       nullptr, 0, nullptr, nullptr);
      std::string utf8(static_cast<size_t>(size), '\0');
      ::WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), utf8.data(),
                            size, nullptr, nullptr);
      names->push_back(std::move(utf8));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return true;
  }

  bool NamesIgnoreCase() const override { return true; }
};

}  // namespace

FileSystem& DefaultFileSystem() {
  static WinFileSystem file_system;
  return file_system;
}

}  // namespace gameshell
