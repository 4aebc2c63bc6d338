// Running the packer and handling test trees.
#include "packer_support.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "support/temp_path.h"

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>

#include "support/process_start.h"
#include "support/wine_host.h"
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

std::string ReadAll(const fs::path& path)
{
    packaging::Bytes bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

#ifdef _WIN32
std::wstring Wide(const std::string& utf8)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), nullptr, 0);
    std::wstring wide(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &wide[0], n);
    return wide;
}

// Quoting by the rules CommandLineToArgvW undoes.
std::wstring Quoted(const std::wstring& argument)
{
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            backslashes++;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

HANDLE InheritableFile(const fs::path& path, bool write)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Starts command without a window, its standard handles the given
// inheritable ones; retries while Wine is too busy to start it.
BOOL StartWithHandles(std::wstring& command, HANDLE in, HANDLE out, HANDLE err, PROCESS_INFORMATION* process,
                      DWORD* error)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    return testsupport::StartProcessPatiently(
        [&] {
            return CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                                  &startup, process);
        },
        error);
}
#endif

// libstdc++ sets times on Windows through a call that refuses folders; the
// time is taken from a file instead and put on the folder with SetFileTime.
void SetFolderTime(const fs::path& folder, fs::file_time_type time)
{
#ifdef _WIN32
    fs::path probe = folder.parent_path() / "time-probe.tmp";
    WriteBytes(probe, {});
    fs::last_write_time(probe, time);
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW(probe.c_str(), GetFileExInfoStandard, &data));
    fs::remove(probe);
    HANDLE handle = CreateFileW(folder.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(handle, nullptr, nullptr, &data.ftLastWriteTime));
    CloseHandle(handle);
#else
    fs::last_write_time(folder, time);
#endif
}

}  // namespace

fs::path U8(const std::string& utf8)
{
    return fs::u8path(utf8);
}

std::string U8(const fs::path& path)
{
    return path.u8string();
}

#ifndef _WIN32
namespace {

[[noreturn]] void ExecProgram(std::string program, const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    argv.push_back(&program[0]);
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies)
        argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

}  // namespace

void ExecPacker(const std::vector<std::string>& arguments)
{
    ExecProgram(SFX_PACKER_PATH, arguments);
}
#endif

RunResult RunPacker(const std::vector<std::string>& arguments)
{
    return RunPackerAt(U8(std::string(SFX_PACKER_PATH)), arguments);
}

RunResult RunPackerAt(const fs::path& program, const std::vector<std::string>& arguments)
{
    TempDir capture;
    fs::path outPath = fs::path(capture.path()) / "out.txt";
    fs::path errPath = fs::path(capture.path()) / "err.txt";
    RunResult result;
#ifdef _WIN32
    std::wstring command = Quoted(program.wstring());
    for (const std::string& argument : arguments)
        command += L" " + Quoted(Wide(argument));
    // Standard input is an empty file: no console to prompt on.
    fs::path inPath = fs::path(capture.path()) / "in.txt";
    WriteBytes(inPath, {});
    HANDLE in = InheritableFile(inPath, false);
    HANDLE out = InheritableFile(outPath, true);
    HANDLE err = InheritableFile(errPath, true);
    PROCESS_INFORMATION process{};
    DWORD error = 0;
    BOOL started = StartWithHandles(command, in, out, err, &process, &error);
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    EXPECT_TRUE(started) << "cannot start " << U8(program) << ", error " << error;
    if (!started)
        return result;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    result.exitCode = static_cast<int>(code);
#else
    pid_t child = fork();
    if (child == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        // No terminal: the packer must never wait for a password here.
        setsid();
        ExecProgram(program.string(), arguments);
    }
    int status = 0;
    waitpid(child, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    result.out = ReadAll(outPath);
    result.err = ReadAll(errPath);
    return result;
}

#ifdef _WIN32
StartedPacker::StartedPacker(const std::vector<std::string>& arguments)
{
    std::wstring command = Quoted(U8(std::string(SFX_PACKER_PATH)).wstring());
    for (const std::string& argument : arguments)
        command += L" " + Quoted(Wide(argument));
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nothing = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr);
    PROCESS_INFORMATION process{};
    DWORD error = 0;
    BOOL started = StartWithHandles(command, nothing, nothing, nothing, &process, &error);
    CloseHandle(nothing);
    EXPECT_TRUE(started) << "cannot start sfxpack, error " << error;
    if (!started) {
        ended_ = true;
        return;
    }
    CloseHandle(process.hThread);
    process_ = reinterpret_cast<std::intptr_t>(process.hProcess);
}

StartedPacker::~StartedPacker()
{
    kill();
    if (process_ != 0)
        CloseHandle(reinterpret_cast<HANDLE>(process_));
}

void StartedPacker::kill()
{
    if (ended_)
        return;
    HANDLE process = reinterpret_cast<HANDLE>(process_);
    TerminateProcess(process, 9);
    WaitForSingleObject(process, INFINITE);
    ended_ = true;
}

bool StartedPacker::running()
{
    return !ended_ && WaitForSingleObject(reinterpret_cast<HANDLE>(process_), 0) == WAIT_TIMEOUT;
}

static std::optional<std::string> GetVariable(const std::string& name)
{
    std::wstring wide = Wide(name);
    DWORD size = GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
    if (size == 0)
        return std::nullopt;
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(wide.c_str(), &value[0], size));
    return U8(fs::path(value));
}

static void SetVariable(const std::string& name, const std::optional<std::string>& value)
{
    SetEnvironmentVariableW(Wide(name).c_str(), value ? Wide(*value).c_str() : nullptr);
}
#else
StartedPacker::StartedPacker(const std::vector<std::string>& arguments)
{
    pid_t child = fork();
    if (child == 0) {
        int nothing = open("/dev/null", O_RDWR);
        dup2(nothing, 0);
        dup2(nothing, 1);
        dup2(nothing, 2);
        setsid();
        ExecProgram(SFX_PACKER_PATH, arguments);
    }
    process_ = child;
    ended_ = child < 0;
}

StartedPacker::~StartedPacker()
{
    kill();
}

void StartedPacker::kill()
{
    if (ended_)
        return;
    ::kill(static_cast<pid_t>(process_), SIGKILL);
    int status = 0;
    waitpid(static_cast<pid_t>(process_), &status, 0);
    ended_ = true;
}

bool StartedPacker::running()
{
    if (ended_)
        return false;
    int status = 0;
    if (waitpid(static_cast<pid_t>(process_), &status, WNOHANG) == 0)
        return true;
    ended_ = true;
    return false;
}

static std::optional<std::string> GetVariable(const std::string& name)
{
    const char* value = std::getenv(name.c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
}

static void SetVariable(const std::string& name, const std::optional<std::string>& value)
{
    if (value)
        setenv(name.c_str(), value->c_str(), 1);
    else
        unsetenv(name.c_str());
}
#endif

ScopedEnvironment::ScopedEnvironment(const std::string& name, const std::optional<std::string>& value)
    : name_(name), old_(GetVariable(name))
{
    SetVariable(name, value);
}

ScopedEnvironment::~ScopedEnvironment()
{
    SetVariable(name_, old_);
}

PackerFolderTest::PackerFolderTest() : root_(U8(dir_.path())) {}

fs::path PackerFolderTest::path(const std::string& name) const
{
    return root_ / U8(name);
}

std::string PackerFolderTest::arg(const std::string& name) const
{
    return U8(path(name));
}

RunResult PackerFolderTest::build(const std::string& source, const std::string& output,
                                  const std::vector<std::string>& extra) const
{
    std::vector<std::string> arguments = {"build", arg(source), "-o", arg(output), "--stub", arg("stub.exe")};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return RunPacker(arguments);
}

std::map<std::string, std::string> PackerFolderTest::listed(const std::string& package) const
{
    RunResult listing = RunPacker({"inspect", arg(package)});
    EXPECT_EQ(listing.exitCode, 0) << listing.err;
    return ListedEntries(listing.out);
}

std::vector<std::string> PackerFolderTest::listing(const std::string& folder) const
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(path(folder)))
        names.push_back(U8(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

void PackerFolderTest::ExpectRefused(const RunResult& run, std::initializer_list<std::string> fragments)
{
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    for (const std::string& fragment : fragments)
        EXPECT_NE(run.err.find(fragment), std::string::npos) << "no \"" << fragment << "\" in: " << run.err;
}

std::map<std::string, std::string> ListedEntries(const std::string& inspectOutput)
{
    // "        size compressed  method    crc       time                 name"
    // "          77         60  deflated  1A2B3C4D  2024-01-31 13:45:08  a.txt"
    static const std::regex kLine(R"(^ *\d+ +\d+ +\w+ +[0-9A-F]{8}  (\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)  (.*)$)");
    std::map<std::string, std::string> entries;
    std::istringstream lines(inspectOutput);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::smatch match;
        if (std::regex_match(line, match, kLine))
            entries[match[2]] = match[1];
    }
    return entries;
}

std::map<std::string, packaging::Bytes> FilesBelow(const fs::path& root)
{
    std::map<std::string, packaging::Bytes> files;
    for (const auto& [name, node] : ReadTree(root))
        if (!node.folder)
            files[name] = node.content;
    return files;
}

packaging::Bytes FakeStub(std::uint16_t machine)
{
    packaging::Bytes stub(512, 0);
    stub[0] = 'M';
    stub[1] = 'Z';
    stub[0x3C] = 0x80;
    stub[0x80] = 'P';
    stub[0x81] = 'E';
    stub[0x84] = static_cast<std::uint8_t>(machine);
    stub[0x85] = static_cast<std::uint8_t>(machine >> 8);
    return stub;
}

void WriteTree(const fs::path& root, const std::vector<TreeItem>& items, std::chrono::hours age)
{
    // A fixed, even second some days back, different for every item.
    auto base = fs::file_time_type::clock::now() - age;
    base -= std::chrono::duration_cast<fs::file_time_type::duration>(
        base.time_since_epoch() % std::chrono::seconds(2));
    std::vector<std::pair<fs::path, fs::file_time_type>> folders;
    int i = 0;
    for (const TreeItem& item : items) {
        fs::path path = root / U8(item.name);
        auto time = base - std::chrono::minutes(7 * ++i);
        if (!item.name.empty() && item.name.back() == '/') {
            fs::create_directories(path);
            folders.emplace_back(path, time);
        } else {
            fs::create_directories(path.parent_path());
            WriteBytes(path, item.content);
            fs::last_write_time(path, time);
        }
    }
    for (const auto& [folder, time] : folders)
        SetFolderTime(folder, time);
}

std::map<std::string, TreeNode> ReadTree(const fs::path& root)
{
    std::map<std::string, TreeNode> tree;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        TreeNode node;
        node.folder = entry.is_directory();
        if (!node.folder)
            node.content = ReadBytes(entry.path());
        node.time = std::chrono::duration_cast<std::chrono::seconds>(
                        fs::last_write_time(entry.path()).time_since_epoch())
                        .count();
        std::string name = U8(fs::relative(entry.path(), root));
        for (char& c : name)
            if (c == '\\')
                c = '/';
        tree[name] = node;
    }
    return tree;
}

#ifdef _WIN32
namespace {

// The reparse data of a junction, as FSCTL_SET_REPARSE_POINT takes it.
struct MountPointData {
    DWORD tag;
    WORD dataLength;
    WORD reserved;
    WORD substituteOffset;
    WORD substituteLength;
    WORD printOffset;
    WORD printLength;
    wchar_t names[1024];
};

bool IsReparsePoint(const fs::path& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool MakeJunction(const fs::path& link, const fs::path& target)
{
    if (!CreateDirectoryW(link.c_str(), nullptr))
        return false;
    std::wstring substitute = L"\\??\\" + target.wstring();
    std::wstring print = target.wstring();
    MountPointData data{};
    if (substitute.size() + print.size() + 2 > sizeof data.names / sizeof(wchar_t))
        return false;
    data.tag = IO_REPARSE_TAG_MOUNT_POINT;
    data.substituteLength = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
    data.printOffset = static_cast<WORD>(data.substituteLength + sizeof(wchar_t));
    data.printLength = static_cast<WORD>(print.size() * sizeof(wchar_t));
    std::copy(substitute.begin(), substitute.end(), data.names);
    std::copy(print.begin(), print.end(), data.names + substitute.size() + 1);
    data.dataLength = static_cast<WORD>(4 * sizeof(WORD) + data.printOffset + data.printLength + sizeof(wchar_t));
    HANDLE handle = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    DWORD returned = 0;
    BOOL made = handle != INVALID_HANDLE_VALUE &&
                DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, &data, data.dataLength + 8, nullptr, 0,
                                &returned, nullptr);
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    if (!made)
        RemoveDirectoryW(link.c_str());
    return made;
}

}  // namespace

bool MakeFolderLink(const fs::path& link, const fs::path& target)
{
    if (MakeJunction(link, target))
        return IsReparsePoint(link);
    return winehost::Available() && winehost::MakeLink(link.wstring(), target.wstring()) && IsReparsePoint(link);
}

void RemoveFolderLink(const fs::path& link)
{
    // A junction goes with RemoveDirectoryW; a Unix link only by unlink.
    if (RemoveDirectoryW(link.c_str()) || !IsReparsePoint(link))
        return;
    winehost::RemoveLink(link.wstring());
}
#else
bool MakeFolderLink(const fs::path& link, const fs::path& target)
{
    std::error_code error;
    fs::create_directory_symlink(target, link, error);
    return !error;
}

void RemoveFolderLink(const fs::path& link)
{
    std::error_code ignored;
    fs::remove(link, ignored);
}
#endif
