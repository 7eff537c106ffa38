// File names and program arguments as UTF-8 text on every system.
//
// On Linux a name is a string of bytes and the C library takes it as it is. On Windows the
// narrow calls (fopen, access, std::filesystem::path from a std::string, the C library's argv)
// read and give names in the ANSI code page, where "Straße" or "中文" may not exist at all, and a
// name's bytes would then mean different letters in different places. The programs keep every
// name as UTF-8 and reach the file system only through these calls, which on Windows convert to
// UTF-16 and use the wide-character calls: the result never depends on the code page the
// program (or, for the plug-in, its host) runs under.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kv::os {

// fopen of a UTF-8 name. The mode is fopen's; an "e" in it (not inherited by programs started
// meanwhile) is kept where the system has it and dropped on Windows, whose started programs
// inherit no handles of ours.
std::FILE* OpenFile(const std::string& path, const char* mode);

// Whether something (a file or a folder) has this UTF-8 name.
bool PathExists(const std::string& path);

// A std::filesystem::path of a UTF-8 name, and a path's name as UTF-8. Neither throws. A name
// whose bytes are not UTF-8 (a picture path an older Windows program kept in a show) is read on
// Windows in the system's ANSI code page, as that program meant it, by these calls and by
// OpenFile and PathExists; on Linux its bytes are the name.
std::filesystem::path FsPath(const std::string& path);
std::string Utf8Name(const std::filesystem::path& path);

// The program's arguments as UTF-8. On Windows they are read again from the wide command line
// (the C library's argv holds them in the ANSI code page); elsewhere they are argv as given.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Runs a program's main body with its arguments as UTF-8 (ProgramArguments; argv[argc] is null
// as in main). An exception that reaches it ends the program with a message on standard error,
// "PROGRAM: ..." naming the file of a filesystem error, and exit status 1, instead of an abort.
int RunProgram(const char* program, int argc, char** argv,
               const std::function<int(int, char**)>& body);

}  // namespace kv::os
