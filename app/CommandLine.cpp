#include "CommandLine.h"

#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <system_error>

#include "Form1.h"

namespace rowtick {

namespace {

const std::string kSeparator = "--";

bool IsOption(const std::string& argument)
{
    return argument.size() > 1 && argument.front() == '-';
}

// `name` under `folder`, leaving out "." steps: "./a.c" is "<folder>/a.c".
std::filesystem::path Absolute(const std::filesystem::path& folder, const std::filesystem::path& name)
{
    if (name.is_absolute())
        return name;
    std::filesystem::path path = folder;
    for (const std::filesystem::path& step : name) {
        if (step != ".")
            path /= step;
    }
    return path;
}

const char kHelp[] =
    "Usage: rowtick [FILE]... [--] [FILE]...\n"
    "Counts the lines (steps) of source files in a window. The FILEs become its\n"
    "targets in the order given, as if they had been dropped on it.\n"
    "\n"
    "  -h, --help     print this text and exit\n"
    "      --version  print the version and exit\n"
    "  --             every argument after this one is a FILE\n"
    "\n"
    "Qt's options, such as -platform NAME or -style NAME, are understood before\n"
    "\"--\". See rowtick(1).\n";

}  // namespace

CommandLine::CommandLine(int argc, char** argv)
    : arguments_(argv, argv + argc)
{
    separator_ = static_cast<std::size_t>(
        std::find(arguments_.begin() + std::min<std::size_t>(1, arguments_.size()), arguments_.end(), kSeparator)
        - arguments_.begin());
    for (std::size_t i = 0; i < separator_; ++i)
        toolkitArgv_.push_back(arguments_[i].data());
    toolkitArgc_ = static_cast<int>(toolkitArgv_.size());
    toolkitArgv_.push_back(nullptr);
}

bool CommandLine::answerQuestion(std::ostream& out) const
{
    for (std::size_t i = 1; i < separator_; ++i) {
        if (arguments_[i] == "--help" || arguments_[i] == "-h") {
            out << kHelp;
            return true;
        }
        if (arguments_[i] == "--version") {
            out << "rowtick " ROWTICK_VERSION "\n";
            return true;
        }
    }
    return false;
}

bool CommandLine::targets(const std::filesystem::path& currentFolder, std::vector<DroppedTarget>& targets,
                          std::ostream& err) const
{
    targets.clear();
    std::vector<std::string> files;
    // What QApplication left of the arguments before "--".
    for (int i = 1; i < toolkitArgc_; ++i) {
        const std::string argument = toolkitArgv_[static_cast<std::size_t>(i)];
        if (IsOption(argument)) {
            err << "rowtick: unknown option: " << argument << "\n"
                << "Try 'rowtick --help'.\n";
            return false;
        }
        files.push_back(argument);
    }
    for (std::size_t i = separator_ + 1; i < arguments_.size(); ++i)
        files.push_back(arguments_[i]);

    for (const std::string& file : files)
        targets.push_back({Absolute(currentFolder, std::filesystem::path(file)), {}});
    return true;
}

bool CommandLine::openIn(Form1& window, std::ostream& err) const
{
    std::vector<DroppedTarget> entries;
    if (!targets(CurrentFolder(), entries, err))
        return false;
    if (!entries.empty())
        window.RegisterTargets(entries);
    return true;
}

std::filesystem::path CurrentFolder()
{
    std::error_code error;
    const char* shellName = std::getenv("PWD");
    if (shellName) {
        const std::filesystem::path named(shellName);
        const bool plain = named.is_absolute()
            && std::none_of(named.begin(), named.end(),
                            [](const std::filesystem::path& step) { return step == "." || step == ".."; });
        if (plain && std::filesystem::equivalent(named, ".", error))
            return named;
    }
    std::filesystem::path system = std::filesystem::current_path(error);
    return error ? std::filesystem::path("/") : system;
}

}  // namespace rowtick
