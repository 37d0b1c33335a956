// What the program is started with: the toolkit's own options, the files to
// open as targets, and the questions answered without a window.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "TargetList.h"

namespace rowtick {

class Form1;

class CommandLine {
public:
    // `argv` as `main` receives it: on POSIX systems the arguments' very bytes.
    CommandLine(int argc, char** argv);

    // What QApplication is given, to take its own options from: the arguments
    // before "--". Those after it are files whatever they look like.
    int& toolkitArgc() { return toolkitArgc_; }
    char** toolkitArgv() { return toolkitArgv_.data(); }

    // Answers --help and --version on `out` and returns true. Asked before the
    // window system is reached, so it answers without a display.
    bool answerQuestion(std::ostream& out) const;

    // After QApplication took its options: the files, in the order given, made
    // absolute against `currentFolder`. An unknown option is reported on `err`
    // and gives no targets and false.
    bool targets(const std::filesystem::path& currentFolder, std::vector<DroppedTarget>& targets,
                 std::ostream& err) const;

    // Registers the files on `window` exactly as a drop of them does, relative
    // ones taken from the current folder. False after an unknown option.
    bool openIn(Form1& window, std::ostream& err) const;

private:
    std::vector<std::string> arguments_;  // all of them, the program's name first
    std::vector<char*> toolkitArgv_;      // into arguments_, ending with a null pointer
    int toolkitArgc_ = 0;
    std::size_t separator_ = 0;           // index of "--", or arguments_.size()
};

// The folder relative paths are taken from: the shell's name for it ($PWD)
// when that names it, so that a folder reached through a link keeps the name
// the user sees; otherwise the system's.
std::filesystem::path CurrentFolder();

}  // namespace rowtick
