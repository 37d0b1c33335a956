// What the program is started with: the toolkit's own options, the files to
// open as targets, and the questions and mistakes answered without a window.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "targets/TargetList.h"

namespace rowtick {

class Form1;

class CommandLine {
public:
    // `argv` as `main` receives it: on POSIX systems the arguments' very bytes.
    // The arguments are sorted here, before anything needs a display: Qt's own
    // options (with their values), files, and anything else starting with "-".
    CommandLine(int argc, char** argv);

    // What QApplication is given, to take its own options from: the program's
    // name and Qt's options, never a file.
    int& toolkitArgc() { return toolkitArgc_; }
    char** toolkitArgv() { return toolkitArgv_.data(); }

    // Answers --help (in Japanese under a Japanese locale) and --version on
    // `out` and returns true. Asked before the window system is reached, so it
    // answers without a display.
    bool answerQuestion(std::ostream& out) const;

    // Reports an unknown option on `err` and returns true; needs no display.
    bool refuseMistake(std::ostream& err) const;

    // The files, in the order given, made absolute against `currentFolder`.
    std::vector<DroppedTarget> targets(const std::filesystem::path& currentFolder) const;
    bool hasFiles() const { return !files_.empty(); }
    // Whether Qt's -platform or -display option was given.
    bool namesDisplay() const { return namesDisplay_; }

    // Registers the files on `window` exactly as a drop of them does, relative
    // ones taken from the current folder.
    void openIn(Form1& window) const;

private:
    std::vector<std::string> arguments_;  // all of them, the program's name first
    std::vector<char*> toolkitArgv_;      // into arguments_, ending with a null pointer
    int toolkitArgc_ = 0;
    bool namesDisplay_ = false;
    std::vector<std::string> files_;
    std::vector<std::string> options_;    // before "--", neither Qt's nor a file: questions and mistakes
};

// The folder relative paths are taken from: the shell's name for it ($PWD)
// when that names it, so that a folder reached through a link keeps the name
// the user sees; otherwise the system's.
std::filesystem::path CurrentFolder();

}  // namespace rowtick
