#include "migrate_command.h"

#include <filesystem>
#include <iostream>
#include <system_error>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace velmor {

namespace {

// Runs velmor-db-migrate with `args` from `first` on; returns only on failure.
int runHelper(const std::vector<std::string>& args, size_t first, const char* self)
{
#if defined(_WIN32)
    (void)first;
    (void)self;
    std::cerr << "velmor-db : " << args[0]
              << " sur un serveur n'est disponible qu'avec l'application Velmor installée sous Linux\n";
    return 1;
#else
    std::error_code error;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        program = std::filesystem::absolute(self, error);
    const std::filesystem::path helper = program.parent_path() / "velmor-db-migrate";
    std::vector<char*> argv{const_cast<char*>(helper.c_str())};
    for (size_t i = first; i < args.size(); ++i)
        argv.push_back(const_cast<char*>(args[i].c_str()));
    argv.push_back(nullptr);
    execv(helper.c_str(), argv.data());
    std::cerr << "velmor-db : " << args[0] << " sur un serveur a besoin du programme " << helper.string()
              << ", qui est introuvable (il est installé avec l'application Velmor)\n";
    return 1;
#endif
}

} // namespace

int runMigrate(const std::vector<std::string>& args, const char* self)
{
    return runHelper(args, 1, self);
}

int runServerExport(const std::vector<std::string>& args, const char* self)
{
    return runHelper(args, 0, self);
}

} // namespace velmor
