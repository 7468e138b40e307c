// What the quendal command asks of the system it runs on, one function each, implemented once per
// platform (tool_platform_posix.cpp, tool_platform_win32.cpp). The commands themselves are shared.
#pragma once

#include <string>

namespace quendal_tool {

// Called first by main. On Windows the arguments are taken again from the wide command line as
// UTF-8, the command's own encoding there (the ANSI code page would lose every character outside
// it), and a console shows UTF-8 for the life of the command. Elsewhere nothing changes: the
// arguments are in the locale's encoding, as the terminal typed them.
void prepare_process(int* argc, char*** argv);

// Whether standard output is a terminal that takes the live line's escape sequences.
bool stdout_is_terminal();

// The size of the file at `path`, or -1 when there is none.
long file_size(const std::string& path);

// Sets or removes a variable of this process's environment, where the library reads it.
void set_env(const char* name, const std::string& value);
void unset_env(const char* name);

// Makes a new empty file for this command's own use in the temporary folder; false, with the
// reason in `error`, when none could be made.
bool make_temporary_file(std::string* path, std::string* error);
// Removes a file; safe to call from a signal handler.
void remove_file_now(const char* path);

// The path a file named on the command line is opened by: unchanged on POSIX; on Windows the
// UTF-8 argument in the ANSI code page, which the library and the C runtime open files by.
std::string native_path(const std::string& given);

// How to call this command again: `argv0` made absolute when it holds a folder, else unchanged.
std::string invoked_path(const char* argv0);

// Where COM `number` leads on this machine, after "COM<n> opens <device> ": how the device was
// chosen and whether it is there, for the first-contact hint of quendal run.
std::string describe_port(int number, const std::string& device);

}  // namespace quendal_tool
