#include "password_option.h"

namespace velmor {

namespace {

std::string& givenPassword()
{
    static std::string password;
    return password;
}

} // namespace

bool takePasswordOption(std::vector<std::string>& args, std::string& error)
{
    bool seen = false;
    for (size_t i = 0; i < args.size();) {
        if (args[i] != "--mot-de-passe") {
            ++i;
            continue;
        }
        if (seen) {
            error = "--mot-de-passe donné deux fois";
            return false;
        }
        if (i + 1 >= args.size()) {
            error = "mot de passe manquant après --mot-de-passe";
            return false;
        }
        seen = true;
        givenPassword() = args[i + 1];
        args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
    }
    return true;
}

std::unique_ptr<jet::Database> openDatabase(const std::string& file, jet::OpenMode mode)
{
    return jet::Database::open(file, mode, givenPassword());
}

} // namespace velmor
