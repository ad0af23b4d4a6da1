// Stand-in for the signing tool. It accepts exactly the command lines the plug-in produces:
//
//   bsign --sign [--elf-only|--xattr] [--force-resign] --nopass
//         '-p""[--homedir H ][--default-key K ]--pinentry-mode ask""' FILE
//   bsign --verify FILE
//
// and rejects every other shape with exit code 22. Signatures are never written into the file:
// they are recorded in a state directory, one record per file path, holding the hash of the
// content at signing time, so a file changed after signing verifies as bad.
//
// Environment:
//   DIGSIG_BSIGN_STATE     state directory (default: $TMPDIR/digsig-bsign-state)
//   DIGSIG_BSIGN_LOG       append one line per call: start<TAB>end<TAB>pid<TAB>arg1<TAB>arg2...
//                          (times in microseconds since the epoch; end is "-" for a hang;
//                          tab, newline and backslash inside arguments escaped as \t \n \\)
//   DIGSIG_BSIGN_DELAY_MS  sleep this long before working
//   DIGSIG_BSIGN_EXIT      do nothing and exit with this code
//   DIGSIG_BSIGN_CRASH     when set, die of SIGSEGV
//   DIGSIG_BSIGN_HANG      when set, wait until killed
//   DIGSIG_BSIGN_IGNORE_TERM  when set, ignore SIGTERM (for every file)
//   DIGSIG_BSIGN_STDERR    text written to standard error
//   DIGSIG_BSIGN_MATCH     the knobs above apply only when the file argument contains this text
//   DIGSIG_BSIGN_START_LOG append one line per call as soon as it starts: pid<TAB>file
//                          (escaped like the log), before any waiting
//   DIGSIG_BSIGN_WAIT_FOR  wait until this file exists before working, so that a test can
//                          hold calls and let them go in an order of its choosing (at most
//                          five minutes, so that a failed test leaves nothing behind)
//   DIGSIG_BSIGN_WAIT_MATCH  the wait applies only when the file argument contains this text

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

enum ExitCode {
    Success = 0,
    PermissionDenied = 1,
    FileNotFound = 2,
    IsDirectory = 21,
    InvalidArgument = 22,
    UnsupportedFileType = 68,
    RewriteFailed = 70,
};

struct SignRequest
{
    bool elf = true;
    bool xattr = true;
    bool forceResign = false;
    std::string homeDir;
    std::string key;
    std::string file;
};

struct Record
{
    std::string elfHash;
    std::string elfKey;
    std::string xattrHash;
    std::string xattrKey;
};

int64_t nowMicroseconds()
{
    timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool envSet(const char* name)
{
    return !env(name).empty();
}

std::string escaped(const std::string& text)
{
    std::string result;
    for (char c : text) {
        if (c == '\t')
            result += "\\t";
        else if (c == '\n')
            result += "\\n";
        else if (c == '\\')
            result += "\\\\";
        else
            result += c;
    }
    return result;
}

class CallLog
{
public:
    CallLog(int argc, char** argv)
        : _start(nowMicroseconds())
    {
        for (int i = 1; i < argc; ++i)
            _args.push_back(argv[i]);
    }

    // One write() with O_APPEND keeps lines of concurrent calls whole.
    void write(bool ended) const
    {
        const std::string path = env("DIGSIG_BSIGN_LOG");
        if (path.empty())
            return;
        std::string line = std::to_string(_start) + '\t'
            + (ended ? std::to_string(nowMicroseconds()) : std::string("-")) + '\t'
            + std::to_string(getpid());
        for (const std::string& arg : _args)
            line += '\t' + escaped(arg);
        line += '\n';
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0)
            return;
        if (::write(fd, line.data(), line.size()) < 0)
            std::perror("bsign: log");
        close(fd);
    }

private:
    int64_t _start;
    std::vector<std::string> _args;
};

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size()
        && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Takes "--<option> VALUE " from the front of text; the value runs to the last space before
// the next part, so it may itself contain spaces.
bool takeOption(std::string& text, const std::string& option, const std::string& nextOption,
                std::string& value)
{
    const std::string prefix = "--" + option + " ";
    if (!startsWith(text, prefix))
        return true;
    std::string rest = text.substr(prefix.size());
    std::string::size_type end = nextOption.empty() ? std::string::npos : rest.find(nextOption);
    if (end == std::string::npos)
        end = rest.size();
    if (end == 0 || rest[end - 1] != ' ')
        return false;
    value = rest.substr(0, end - 1);
    text = rest.substr(end);
    return !value.empty();
}

bool parsePassArgument(std::string argument, SignRequest& request)
{
    const std::string head = "-p\"\"";
    const std::string tail = "--pinentry-mode ask\"\"";
    if (!startsWith(argument, head) || !endsWith(argument, tail)
        || argument.size() < head.size() + tail.size())
        return false;
    std::string middle = argument.substr(head.size(), argument.size() - head.size() - tail.size());
    if (!takeOption(middle, "homedir", "--default-key ", request.homeDir))
        return false;
    if (!takeOption(middle, "default-key", "", request.key))
        return false;
    return middle.empty() && request.key.find(' ') == std::string::npos;
}

bool parseSign(const std::vector<std::string>& args, SignRequest& request)
{
    size_t i = 1;
    if (i < args.size() && args[i] == "--elf-only") {
        request.xattr = false;
        ++i;
    } else if (i < args.size() && args[i] == "--xattr") {
        request.elf = false;
        ++i;
    }
    if (i < args.size() && args[i] == "--force-resign") {
        request.forceResign = true;
        ++i;
    }
    if (i >= args.size() || args[i] != "--nopass")
        return false;
    ++i;
    if (i >= args.size() || !parsePassArgument(args[i], request))
        return false;
    ++i;
    if (i + 1 != args.size() || args[i].empty())
        return false;
    request.file = args[i];
    return true;
}

// The exit code for a file that cannot be signed or verified, or Success.
int checkFile(const std::string& file)
{
    struct stat st
    {
    };
    if (stat(file.c_str(), &st) != 0)
        return errno == EACCES ? PermissionDenied : FileNotFound;
    if (S_ISDIR(st.st_mode))
        return IsDirectory;
    if (!S_ISREG(st.st_mode))
        return InvalidArgument;
    if (access(file.c_str(), R_OK) != 0)
        return PermissionDenied;
    return Success;
}

bool readContent(const std::string& file, std::string& content)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    content = buffer.str();
    return true;
}

std::string fnv1a(const std::string& bytes)
{
    uint64_t hash = 1469598103934665603ULL;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

bool isElf(const std::string& content)
{
    return content.size() >= 4
        && content.compare(0, 4,
                           "\x7f"
                           "ELF")
        == 0;
}

std::string stateDirectory()
{
    std::string dir = env("DIGSIG_BSIGN_STATE");
    if (!dir.empty())
        return dir;
    const std::string tmp = env("TMPDIR");
    return (tmp.empty() ? std::string("/tmp") : tmp) + "/digsig-bsign-state";
}

std::string canonicalPath(const std::string& file)
{
    char* resolved = realpath(file.c_str(), nullptr);
    if (!resolved)
        return file;
    std::string result = resolved;
    std::free(resolved);
    return result;
}

std::string recordPath(const std::string& file)
{
    return stateDirectory() + "/" + fnv1a(canonicalPath(file)) + ".sig";
}

Record readRecord(const std::string& file)
{
    Record record;
    std::ifstream in(recordPath(file));
    std::string kind, hash, key;
    while (in >> kind >> hash && std::getline(in >> std::ws, key)) {
        if (kind == "elf") {
            record.elfHash = hash;
            record.elfKey = key;
        } else if (kind == "xattr") {
            record.xattrHash = hash;
            record.xattrKey = key;
        }
    }
    return record;
}

// Written to a temporary file and renamed, so a concurrent verification never sees half a
// record.
bool writeRecord(const std::string& file, const Record& record)
{
    const std::string dir = stateDirectory();
    mkdir(dir.c_str(), 0755);
    const std::string target = recordPath(file);
    const std::string temporary = target + "." + std::to_string(getpid()) + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        if (!record.elfHash.empty())
            out << "elf " << record.elfHash << ' ' << record.elfKey << '\n';
        if (!record.xattrHash.empty())
            out << "xattr " << record.xattrHash << ' ' << record.xattrKey << '\n';
        out << "path - " << canonicalPath(file) << '\n';
        if (!out.flush())
            return false;
    }
    return std::rename(temporary.c_str(), target.c_str()) == 0;
}

int sign(const SignRequest& request)
{
    const int status = checkFile(request.file);
    if (status != Success)
        return status;
    std::string content;
    if (!readContent(request.file, content))
        return PermissionDenied;
    const bool elfFile = isElf(content);
    if (!request.xattr && !elfFile) {
        std::fprintf(stderr, "bsign: %s: not an ELF file\n", request.file.c_str());
        return UnsupportedFileType;
    }
    const std::string hash = fnv1a(content);
    const std::string key = request.key.empty() ? "default" : request.key;
    Record record = readRecord(request.file);
    if (request.elf && elfFile && (request.forceResign || record.elfHash != hash)) {
        record.elfHash = hash;
        record.elfKey = key;
    }
    if (request.xattr && (request.forceResign || record.xattrHash != hash)) {
        record.xattrHash = hash;
        record.xattrKey = key;
    }
    return writeRecord(request.file, record) ? Success : RewriteFailed;
}

std::string verdict(const std::string& recorded, const std::string& key, const std::string& hash)
{
    if (recorded.empty())
        return "no signature found";
    if (recorded != hash)
        return "bad hash";
    return "good, key " + key;
}

int verify(const std::string& file)
{
    const int status = checkFile(file);
    if (status != Success)
        return status;
    std::string content;
    if (!readContent(file, content))
        return PermissionDenied;
    const std::string hash = fnv1a(content);
    const Record record = readRecord(file);
    const std::string elf
        = isElf(content) ? verdict(record.elfHash, record.elfKey, hash) : "not an ELF file";
    std::printf("ELF signature: %s\n", elf.c_str());
    std::printf("xattr signature: %s\n", verdict(record.xattrHash, record.xattrKey, hash).c_str());
    return Success;
}

void crash()
{
    const rlimit noCore {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    std::signal(SIGSEGV, SIG_DFL);
    std::raise(SIGSEGV);
}

void appendLine(const std::string& path, const std::string& line)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    if (::write(fd, line.data(), line.size()) < 0)
        std::perror("bsign: start log");
    close(fd);
}

void announceAndWait(const std::string& file)
{
    const std::string startLog = env("DIGSIG_BSIGN_START_LOG");
    if (!startLog.empty())
        appendLine(startLog, std::to_string(getpid()) + '\t' + escaped(file) + '\n');
    const std::string gate = env("DIGSIG_BSIGN_WAIT_FOR");
    const std::string match = env("DIGSIG_BSIGN_WAIT_MATCH");
    if (gate.empty() || (!match.empty() && file.find(match) == std::string::npos))
        return;
    struct stat st
    {
    };
    for (int waited = 0; waited < 30000 && stat(gate.c_str(), &st) != 0; ++waited)
        usleep(10000);
}

// Applies the test knobs; returns true with exitCode set when the call ends here.
bool applyKnobs(const CallLog& log, const std::string& file, int& exitCode)
{
    const std::string match = env("DIGSIG_BSIGN_MATCH");
    if (!match.empty() && file.find(match) == std::string::npos)
        return false;
    const std::string text = env("DIGSIG_BSIGN_STDERR");
    if (!text.empty())
        std::fprintf(stderr, "%s\n", text.c_str());
    const std::string delay = env("DIGSIG_BSIGN_DELAY_MS");
    if (!delay.empty())
        usleep(useconds_t(std::atol(delay.c_str())) * 1000);
    if (envSet("DIGSIG_BSIGN_HANG")) {
        log.write(false);
        for (;;)
            pause();
    }
    if (envSet("DIGSIG_BSIGN_CRASH")) {
        log.write(true);
        crash();
    }
    const std::string forced = env("DIGSIG_BSIGN_EXIT");
    if (forced.empty())
        return false;
    exitCode = std::atoi(forced.c_str());
    return true;
}

int run(const std::vector<std::string>& args, const CallLog& log)
{
    const bool isVerify = args.size() == 2 && args[0] == "--verify" && !args[1].empty();
    SignRequest request;
    const bool isSign
        = !isVerify && !args.empty() && args[0] == "--sign" && parseSign(args, request);
    if (!isVerify && !isSign) {
        std::fprintf(stderr, "bsign: invalid arguments\n");
        return InvalidArgument;
    }
    const std::string& file = isVerify ? args[1] : request.file;
    announceAndWait(file);
    int exitCode = Success;
    if (applyKnobs(log, file, exitCode))
        return exitCode;
    return isVerify ? verify(file) : sign(request);
}

} // namespace

int main(int argc, char** argv)
{
    if (envSet("DIGSIG_BSIGN_IGNORE_TERM"))
        std::signal(SIGTERM, SIG_IGN);
    const CallLog log(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int exitCode = run(args, log);
    std::fflush(stdout);
    log.write(true);
    return exitCode;
}
