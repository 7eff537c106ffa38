// A program's main body with UTF-8 arguments and no exception escaping it.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <system_error>

#include "platform/os/utf8_names.h"

namespace kv::os {

namespace {

void Tell(const char* program, const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", program, message.c_str());
    std::fflush(stderr);
}

}  // namespace

int RunProgram(const char* program, int argc, char** argv,
               const std::function<int(int, char**)>& body) {
    try {
        std::vector<std::string> args = ProgramArguments(argc, argv);
        std::vector<char*> pointers;
        pointers.reserve(args.size() + 1);
        for (std::string& a : args) pointers.push_back(a.data());
        pointers.push_back(nullptr);
        return body(static_cast<int>(args.size()), pointers.data());
    } catch (const std::filesystem::filesystem_error& e) {
        // The file (or both files of a copy or rename) and the system's reason.
        std::string names = Utf8Name(e.path1());
        if (!e.path2().empty()) names += " and " + Utf8Name(e.path2());
        Tell(program, (names.empty() ? std::string("a file") : names) + ": " + e.code().message());
    } catch (const std::system_error& e) {
        Tell(program, e.code().message());
    } catch (const std::bad_alloc&) {
        Tell(program, "out of memory");
    } catch (const std::exception& e) {
        Tell(program, std::string("stopped by an unexpected error: ") + e.what());
    } catch (...) {
        Tell(program, "stopped by an unexpected error");
    }
    return 1;
}

}  // namespace kv::os
