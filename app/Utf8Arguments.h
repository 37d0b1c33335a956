// The program's arguments as `main` passes them on: on Windows the command
// line the shell gave, in UTF-8 (the ANSI `argv` loses every character outside
// the code page, and "Send to" hands over any name); elsewhere `argv` itself,
// the arguments' very bytes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace rowtick {

class Utf8Arguments {
public:
    Utf8Arguments(int argc, char** argv);
    Utf8Arguments(const Utf8Arguments&) = delete;
    Utf8Arguments& operator=(const Utf8Arguments&) = delete;

    int argc() const { return argc_; }
    char** argv() { return argv_; }

    // The file an argument names, as the system spells it.
    static std::filesystem::path PathOf(const std::string& argument);

private:
    std::vector<std::string> strings_;  // on Windows: the arguments converted
    std::vector<char*> pointers_;       // into strings_, ending with a null pointer
    int argc_;
    char** argv_;
};

}  // namespace rowtick
