#include "platform/browser_process.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <string>

#include "base/core/text_conversion.h"
#include "base/core/windows_command_line.h"
#include "platform/win/wide_text.h"

namespace gameshell::platform {

namespace {

std::string LastError(const char* what) {
  const DWORD code = ::GetLastError();
  wchar_t* message = nullptr;
  ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::string text = std::string(what) + ": error " + std::to_string(code);
  if (message) {
    std::string said = WideToUtf8(message);
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == '.')) {
      said.pop_back();
    }
    text += " (" + said + ")";
    ::LocalFree(message);
  }
  return text;
}

void CloseIfOpen(HANDLE& handle) {
  if (handle && handle != INVALID_HANDLE_VALUE) {
    ::CloseHandle(handle);
  }
  handle = nullptr;
}

class WinBrowserProcess : public BrowserProcess {
 public:
  WinBrowserProcess(HANDLE process, DWORD pid, HANDLE job, HANDLE to_browser, HANDLE from_browser)
      : process_(process),
        pid_(pid),
        job_(job),
        to_browser_(to_browser),
        from_browser_(from_browser) {}

  ~WinBrowserProcess() override {
    if (!exit_status_) {
      Kill();
      WaitForExit(std::chrono::milliseconds(2000));
    }
    CloseIfOpen(to_browser_);
    CloseIfOpen(from_browser_);
    CloseIfOpen(job_);
    CloseIfOpen(process_);
  }

  bool Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      DWORD written = 0;
      const DWORD size = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
      if (!::WriteFile(to_browser_, bytes.data(), size, &written, nullptr)) {
        return false;
      }
      bytes.remove_prefix(written);
    }
    return true;
  }

  size_t Read(char* buffer, size_t size) override {
    DWORD read = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    // A broken pipe is the browser's end: it quit or died.
    return ::ReadFile(from_browser_, buffer, wanted, &read, nullptr) ? read : 0;
  }

  void Kill() override {
    if (!exit_status_) {
      // The job holds the browser and every process it started.
      if (!job_ || !::TerminateJobObject(job_, 1)) {
        ::TerminateProcess(process_, 1);
      }
    }
  }

  std::optional<int> WaitForExit(std::chrono::milliseconds timeout) override {
    if (!exit_status_ &&
        ::WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0) {
      DWORD code = 0;
      ::GetExitCodeProcess(process_, &code);
      exit_status_ = static_cast<int>(code);
    }
    return exit_status_;
  }

  long pid() const override { return static_cast<long>(pid_); }

 private:
  HANDLE process_;
  const DWORD pid_;
  HANDLE job_;
  HANDLE to_browser_;
  HANDLE from_browser_;
  std::optional<int> exit_status_;
};

bool IsFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Where the browser's installer registered it: the user's own key first, then the machine's.
std::wstring RegisteredPath(const std::wstring& name) {
  const std::wstring key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name;
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    wchar_t value[MAX_PATH * 2] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    // RRF_RT_REG_SZ takes a REG_EXPAND_SZ too, expanded.
    if (::RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS) {
      continue;
    }
    std::wstring path = value;
    // Some installers write it quoted.
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') {
      path = path.substr(1, path.size() - 2);
    }
    if (IsFile(path)) {
      return path;
    }
  }
  return {};
}

// The shell's environment with `settings` in place of any of the same names (which Windows
// compares without case), as the block CreateProcessW takes.
std::wstring EnvironmentBlock(const EnvironmentSettings& settings) {
  std::vector<std::wstring> added;
  for (const std::string& setting : settings) {
    added.push_back(Utf8ToWide(setting));
  }
  auto name_of = [](std::wstring_view variable) {
    // A leading "=" belongs to the name (the drives' working directories).
    const size_t equals = variable.find(L'=', 1);
    std::wstring name(variable.substr(0, equals));
    std::transform(name.begin(), name.end(), name.begin(), ::towupper);
    return name;
  };
  std::wstring block;
  if (wchar_t* current = ::GetEnvironmentStringsW()) {
    for (const wchar_t* variable = current; *variable; variable += wcslen(variable) + 1) {
      const std::wstring name = name_of(variable);
      if (std::none_of(added.begin(), added.end(),
                       [&](const std::wstring& s) { return name_of(s) == name; })) {
        block.append(variable).push_back(L'\0');
      }
    }
    ::FreeEnvironmentStringsW(current);
  }
  for (const std::wstring& setting : added) {
    block.append(setting).push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

}  // namespace

std::string FindExecutable(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (name.empty()) {
      continue;
    }
    const std::wstring wide = Utf8ToWide(name);
    if (name.find_first_of("/\\") != std::string::npos) {
      if (IsFile(wide)) {
        return name;
      }
      continue;
    }
    std::wstring found = RegisteredPath(wide);
    if (found.empty()) {
      wchar_t path[MAX_PATH * 2] = {};
      const DWORD length =
          ::SearchPathW(nullptr, wide.c_str(), nullptr, MAX_PATH * 2, path, nullptr);
      if (length > 0 && length < MAX_PATH * 2 && IsFile(path)) {
        found = path;
      }
    }
    if (!found.empty()) {
      return WideToUtf8(found);
    }
  }
  return {};
}

std::unique_ptr<BrowserProcess> StartBrowserProcess(const std::vector<std::string>& argv,
                                                    std::string* error,
                                                    bool output_shown,
                                                    const EnvironmentSettings& settings) {
  if (argv.empty()) {
    *error = "no browser to start";
    return nullptr;
  }
  // The browser's ends are the only handles it inherits.
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE browser_reads = nullptr, to_browser = nullptr;
  HANDLE from_browser = nullptr, browser_writes = nullptr;
  if (!::CreatePipe(&browser_reads, &to_browser, &inheritable, 0) ||
      !::CreatePipe(&from_browser, &browser_writes, &inheritable, 0)) {
    *error = LastError("no pipe");
    for (HANDLE* handle : {&browser_reads, &to_browser, &from_browser, &browser_writes}) {
      CloseIfOpen(*handle);
    }
    return nullptr;
  }
  ::SetHandleInformation(to_browser, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(from_browser, HANDLE_FLAG_INHERIT, 0);

  // Chromium on Windows takes the pipe as inherited handles its switch names; an inherited
  // handle has the same value in the child.
  std::u16string command_line;
  for (const std::string& arg : argv) {
    command_line += (command_line.empty() ? u"" : u" ") + QuoteWindowsArgument(Utf8ToUtf16(arg));
  }
  command_line += Utf8ToUtf16(
      " --remote-debugging-io-pipes=" + std::to_string(reinterpret_cast<uintptr_t>(browser_reads)) +
      "," + std::to_string(reinterpret_cast<uintptr_t>(browser_writes)));
  std::wstring writable_line(command_line.begin(), command_line.end());
  std::wstring environment = EnvironmentBlock(settings);

  HANDLE inherited[] = {browser_reads, browser_writes};
  SIZE_T list_size = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
  std::vector<char> list_storage(list_size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_storage.data());
  const bool have_list =
      ::InitializeProcThreadAttributeList(attributes, 1, 0, &list_size) &&
      ::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                  sizeof inherited, nullptr, nullptr);
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.lpAttributeList = have_list ? attributes : nullptr;
  // Without a console of the shell's to show it on, the browser's words go nowhere anyway.
  (void)output_shown;

  // The browser and all it starts live in a job that ends when the shell's handle to it closes,
  // however the shell ends.
  HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
  if (job) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
  PROCESS_INFORMATION started{};
  const std::wstring program = Utf8ToWide(argv[0]);
  const BOOL created =
      ::CreateProcessW(program.c_str(), writable_line.data(), nullptr, nullptr, TRUE,
                       CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT |
                           (have_list ? EXTENDED_STARTUPINFO_PRESENT : 0),
                       environment.data(), nullptr, &startup.StartupInfo, &started);
  const std::string create_error = created ? "" : LastError(argv[0].c_str());
  if (have_list) {
    ::DeleteProcThreadAttributeList(attributes);
  }
  CloseIfOpen(browser_reads);
  CloseIfOpen(browser_writes);
  if (!created) {
    *error = create_error;
    CloseIfOpen(to_browser);
    CloseIfOpen(from_browser);
    CloseIfOpen(job);
    return nullptr;
  }
  if (job && !::AssignProcessToJobObject(job, started.hProcess)) {
    CloseIfOpen(job);  // the shell's own job forbids nesting: the browser is killed alone
  }
  ::ResumeThread(started.hThread);
  ::CloseHandle(started.hThread);
  return std::make_unique<WinBrowserProcess>(started.hProcess, started.dwProcessId, job, to_browser,
                                             from_browser);
}

}  // namespace gameshell::platform
