#include "Isolation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace support {

namespace {

std::string g_root;
pid_t g_owner = 0;

void RemoveRoot()
{
    // Children that leave through exit() must not take the folders from their parent.
    if (g_root.empty() || ::getpid() != g_owner)
        return;
    namespace fs = std::filesystem;
    std::error_code error;
    // Tests take permissions away from folders they made; give them back so all can go.
    for (fs::recursive_directory_iterator
             it(g_root, fs::directory_options::skip_permission_denied, error),
         end;
         !error && it != end; it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
    fs::remove_all(g_root, error);
}

[[noreturn]] void Die(const std::string& what)
{
    std::perror(what.c_str());
    std::exit(2);
}

} // namespace

void IsolateFromMachine()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vellorin-test.XXXXXX";
    if (!::mkdtemp(pattern.data()))
        Die("cannot make a private folder for the test in " + pattern);
    g_root = pattern;
    g_owner = ::getpid();
    std::atexit(RemoveRoot);

    const struct
    {
        const char* variable;
        const char* folder;
    } folders[] = {
        {"HOME", "home"},
        {"XDG_CONFIG_HOME", "config"},
        {"XDG_DATA_HOME", "data"},
        {"XDG_CACHE_HOME", "cache"},
        {"XDG_STATE_HOME", "state"},
        {"XDG_RUNTIME_DIR", "runtime"},
        {"TMPDIR", "tmp"},
    };
    for (const auto& f : folders) {
        const std::string path = g_root + '/' + f.folder;
        if (::mkdir(path.c_str(), 0700) != 0 || ::setenv(f.variable, path.c_str(), 1) != 0)
            Die("cannot make " + path);
    }
    ::unsetenv("XDG_CONFIG_DIRS");
    ::unsetenv("XDG_DATA_DIRS");
}

} // namespace support
